// The page's style sheet and script, kept in page.css and page.js and
// embedded in the program at build time.
#pragma once

extern const char* const HTML_STYLE;
extern const char* const HTML_SCRIPT;
