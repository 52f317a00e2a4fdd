// A QR code drawn with text, for a phone's camera to read off the terminal.
#pragma once

#include <string>
#include <vector>

namespace remote {

/// `text` as a QR code (error correction level L, byte mode) drawn with the
/// half-block characters U+2580, U+2584 and U+2588, two rows of modules per
/// line, with a quiet zone of two modules. Light modules are drawn and dark
/// ones left blank, so the code reads right on a terminal with light text on
/// a dark background (as `qrencode -t UTF8` draws it). Empty when the text
/// does not fit in a QR code.
std::vector<std::string> qrCodeLines(const std::string& text);

/// What the help screen says about the remote control: the address of the
/// page for each of `urls` and a QR code of the first.
std::vector<std::string> remoteHelpLines(const std::vector<std::string>& urls);

}  // namespace remote
