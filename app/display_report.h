#pragma once
// The display capabilities report: every display adapter with its monitor,
// current mode, position on the desktop and work area, so the operator can
// choose where to put the output window. Built over the enumeration interface,
// so it runs on any source of adapters (the X server's, or a test's).

#include <string>
#include <vector>

#include "platform/displays.h"

// The report: per adapter a block of four lines followed by three line
// breaks; a mirroring adapter gives only two line breaks and no number.
// Empty without adapters.
std::string build_display_report(DisplayEnumerator& displays);

// The displays of the report that show part of the desktop (attached, not
// mirroring, with a known mode), numbered as the report numbers them.
std::vector<DisplayPlace> connected_displays(DisplayEnumerator& displays);

// The report as help-view markup: a single line break becomes "<br>", a run of
// k >= 2 line breaks k - 1 times "<p>" and one "<br>". The characters that
// markup gives a meaning ('<', '>', '&') are escaped, so device names show as
// they are.
std::string display_report_markup(const std::string& report);
