// Encoding with libqrencode and drawing with half blocks.
#include "remote/QrCode.h"

#include <qrencode.h>

#include <memory>

namespace remote {

namespace {

constexpr int quietModules = 2;

struct QrDeleter {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

}  // namespace

std::vector<std::string> qrCodeLines(const std::string& text) {
    std::unique_ptr<QRcode, QrDeleter> code(QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_L));
    if (!code) return {};
    const int width = code->width;
    const int size = width + 2 * quietModules;
    // Dark (bit 0 set) inside the symbol; the quiet zone is light.
    auto dark = [&](int row, int column) {
        const int y = row - quietModules;
        const int x = column - quietModules;
        if (y < 0 || x < 0 || y >= width || x >= width) return false;
        return (code->data[y * width + x] & 1) != 0;
    };
    std::vector<std::string> lines;
    for (int row = 0; row < size; row += 2) {
        std::string line;
        for (int column = 0; column < size; ++column) {
            const bool topLight = !dark(row, column);
            // Below the last row lies the background: blank.
            const bool bottomLight = row + 1 < size && !dark(row + 1, column);
            if (topLight && bottomLight) {
                line += "\u2588";
            } else if (topLight) {
                line += "\u2580";
            } else if (bottomLight) {
                line += "\u2584";
            } else {
                line += ' ';
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> remoteHelpLines(const std::vector<std::string>& urls) {
    std::vector<std::string> lines;
    if (urls.empty()) return lines;
    lines.push_back("Remote control: open this address on a phone or tablet on the same network,");
    lines.push_back("or point its camera at the code:");
    lines.push_back("");
    for (const std::string& url : urls) lines.push_back("  " + url);
    lines.push_back("");
    for (std::string& line : qrCodeLines(urls.front())) lines.push_back("  " + std::move(line));
    return lines;
}

}  // namespace remote
