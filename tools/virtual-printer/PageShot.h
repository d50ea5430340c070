#pragma once
// A receipt's page as a browser shows it: headless Chromium's screenshot,
// for the README's picture and for the tests that scan the barcodes back.
// The one place Chromium is started, with the one set of switches.

#include <string>

namespace vprinter {

// Takes `page` (a local HTML file) into the PNG file `png` at a window of
// width x height pixels. Chromium runs with a profile of its own in a new
// temporary folder, removed afterwards, and with its background
// connections, updates, sync and first-run tasks switched off, so it
// leaves nothing in the user's home and reaches nothing but the page. It
// is stopped after `timeoutSeconds`. False, with `error` set, when it
// could not be run or made no picture.
bool ShootPage(const std::string& page, const std::string& png, int width, int height, int timeoutSeconds,
               std::string& error);

}  // namespace vprinter
