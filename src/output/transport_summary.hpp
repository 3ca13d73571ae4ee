#pragma once
// Sediment and constituent blocks of the run summary: those of each event and those of the
// whole run, with the bed elevation report.
#include <cstdio>

namespace pluvo {

struct model_state;

// Sums the sediment class totals of the overland cells (erosion held negative) at the end of an
// event.
void sum_event_sediment(model_state& m);

// The event's constituent and sediment blocks (constituent errors stored back).
void write_event_transport_blocks(model_state& m, std::FILE* f);

// At an event's start: clears the overland erosion no contaminant step has taken up and the
// event's channel sediment figures, and keeps the channel and lake sediment held now as the
// event's starting figures.
void start_event_sediment(model_state& m);

// The whole-run sediment and constituent summaries (errors stored back) and, with channel
// sediment transport, "new_bed_elevations.txt".
void write_run_transport_summaries(model_state& m, std::FILE* f);

// Writes "new_bed_elevations.txt"; a file that does not open stops with code 4000.
void write_new_bed_elevations(model_state& m);

// The final constituent stores at the end of an event, kg, that the event blocks read.
void sum_event_constituent_stores(model_state& m);

// The constituent blocks of an event and of the whole run (errors stored back).
void write_event_constituent_blocks(model_state& m, std::FILE* f);
void write_run_constituent_summaries(model_state& m, std::FILE* f);

// Sand (element 0 of every node) and suspended wash load held in the channels, m3.
double channel_sand_volume(const model_state& m);
double channel_wash_volume(const model_state& m);

}  // namespace pluvo
