#pragma once

// A plot's data as CSV: a time column, then one column per trace, one row per time at which any trace has a
// point; a trace without a point at that time leaves its cell empty, so nothing is invented.

#include "plots/plotSession.h"

#include <functional>
#include <string_view>

namespace korvel {

// Where the text goes, in pieces of whole rows; false when a piece could not be written.
using CsvSink = std::function<bool(std::string_view text)>;
// The points of [from, to]; false when the sink refused a piece (nothing more is written then).
bool writePlotCsv(const PlotSession& session, double from, double to, const CsvSink& sink);
// A number in its shortest form that reads back exactly; "nan", "inf" and "-inf" for the others.
void appendCsvNumber(std::string& out, double value);

} // namespace korvel
