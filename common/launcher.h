// Opens a page in a window of the user's default web browser.
#pragma once

namespace common {

// Starts the program registered to open ".htm" files, with url as its one page argument, and
// returns without waiting for it. Only "http://" and "https://" addresses are opened; any
// failure (no registration, an unusable command template, a program that will not start)
// starts nothing and is not reported.
void OpenInDefaultBrowser(const char* url);

}  // namespace common
