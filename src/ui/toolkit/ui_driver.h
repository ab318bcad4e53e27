#pragma once
// The UI driver: a test or an automation script acting as the operator.
//
// It speaks a line protocol over the toolkit alone, so it works on either
// backend: one request line in, reply lines out. Windows are named by their
// name ("STATION"), their description number ("1010") or "#<id>"; controls
// by their name or "#<id>"; a program-drawn pane by the name of its child
// window. Every reply ends with a line "OK" or "OK <value>", or is the single
// line "ERR <reason>"; listing commands send their lines first, each starting
// with "= ". Texts are passed as they are (Windows-1252 bytes); the text
// argument is the rest of the line after one blank. The README lists the
// commands.
//
// DriverServer runs the protocol on a local (AF_UNIX, stream) socket, any
// number of clients one line at a time, or on standard input and output; it
// is an invisible toolkit window whose descriptors the main loop watches.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarvik::ui {

class UiDriver {
 public:
  explicit UiDriver(Toolkit& toolkit) : tk_(toolkit) {}
  // Runs one request line; returns the reply lines (without line ends).
  std::vector<std::string> execute(std::string_view line);

 private:
  Toolkit& tk_;
};

// Starts the driver server: `path` is the socket's path (an existing socket
// file there is replaced; the file is removed when the server ends), or "-"
// for standard input and output. Returns the server window, kNoWindow when
// the socket cannot be made.
WindowId startDriverServer(Toolkit& toolkit, const std::string& path);

}  // namespace tarvik::ui
