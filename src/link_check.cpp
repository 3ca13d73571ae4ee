// Empty program: the link-check targets pull one library in whole around it.
int main() { return 0; }
