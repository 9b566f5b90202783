// Console lines and the error message box. [any thread] for each.
#pragma once

namespace chartloom {

// Sent to every console receiver while services are initialised; dropped otherwise.
void consoleLine(const char* text);
// Formatted with the host's uPrintfV (%s takes UTF-8).
void consoleLineFormatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "ERROR : " followed by the text (at most about 1 KiB of it). Allocates nothing of its own,
// so that it may report a failed allocation.
void consoleErrorLine(const char* text) noexcept;
// The host's popup, titled "foo_chartloom: Error". Without a popup service, or when the popup
// fails, the message goes to the console instead.
void errorMessageBox(const char* text) noexcept;

}  // namespace chartloom
