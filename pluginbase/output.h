// Console lines and the error message box. [any thread] for each.
#pragma once

namespace chartloom {

// Sent to every console receiver while services are initialised; dropped otherwise.
void consoleLine(const char* text);
// Formatted with the host's uPrintfV (%s takes UTF-8).
void consoleLineFormatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "ERROR : " followed by the text.
void consoleErrorLine(const char* text);
// The host's popup, titled "foo_chartloom: Error". Never raises: without a popup service the
// message goes to the console instead.
void errorMessageBox(const char* text);

}  // namespace chartloom
