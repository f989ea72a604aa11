#pragma once
// vxosd-lunar: prints the lunar calendar for a day or a range of days, as text or CSV, in
// UTF-8. The formatting is here, apart from main(), so that tests can check it.

#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "lunar/festival.h"

namespace vx::lunar_tool {

// Days the tool accepts: the days a month grid of the calendar can show.
constexpr std::string_view kFirstAccepted = "1899-12-01";
constexpr std::string_view kLastAccepted = "2101-01-31";

// Strict yyyy-mm-dd; false for anything else or an impossible day.
bool ParseDate(std::string_view text, TDateTime &date);
std::string FormatDate(TDateTime date);

// The CSV header and one row (no line end): date, lunar_year, lunar_month, lunar_day, leap,
// term, gz_year, gz_month, gz_day, festival, festival_color.
std::string CsvHeader();
std::string CsvRow(const TFestivalList &festivals, TDateTime date);
// One human-readable line (no line end).
std::string HumanLine(const TFestivalList &festivals, TDateTime date);

// Runs with the arguments after the program name; returns the exit status.
int Run(std::span<const std::string_view> args, std::ostream &out, std::ostream &err);

}  // namespace vx::lunar_tool
