// Fuzz target: the terminal's key decoder on any bytes, arriving in any rhythm.
//
// The input is a run of chunks, each what one read of the terminal returns: a
// header byte (bits 0-5: the chunk's length, 0 meaning 64; bit 7: the terminal
// then stays quiet long enough for an unfinished sequence to be flushed),
// then the chunk's bytes.
#include "FuzzTarget.h"
#include "platform/KeyDecoder.h"
#include "platform/Keys.h"

#include <vector>

namespace fuzz {

namespace {

using platform::KeyDecoder;
namespace keys = platform::keys;

constexpr unsigned char esc = 0x1b;

/// Takes every queued code, checking the queue's own promises.
void drain(KeyDecoder& decoder, std::vector<int>& codes) {
    while (decoder.hasKey()) {
        const int code = decoder.takeKey();
        check(code >= 0 && code <= 255, "a key code outside 0..255");
        codes.push_back(code);
    }
    check(decoder.takeKey() == -1, "takeKey on an empty queue must give -1");
}

/// Plain text, with no escape and no key prefix in it, comes out byte for
/// byte; CR, LF and CR LF are one Enter each.
void checkPlainText(const std::vector<unsigned char>& fed, const std::vector<int>& codes) {
    std::vector<int> expected;
    bool afterCr = false;
    for (unsigned char byte : fed) {
        if (byte == '\n' && afterCr) {
            afterCr = false;
            continue;
        }
        expected.push_back(byte == '\r' || byte == '\n' ? keys::enter : byte);
        afterCr = byte == '\r';
    }
    check(codes == expected, "text without escapes must arrive byte for byte");
}

/// Every special key starts with its own ESC, so a stream holding no byte
/// that could be mistaken for a key prefix yields at most one Escape or
/// special key per ESC, and every prefix is followed by a known second code.
void checkSpecialKeys(const std::vector<unsigned char>& fed, const std::vector<int>& codes) {
    std::size_t escapes = 0;
    for (unsigned char byte : fed) {
        if (keys::isPrefix(byte)) return;  // raw bytes that look like a prefix
        if (byte == esc) ++escapes;
    }
    std::size_t specials = 0;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] == keys::escape) {
            ++specials;
        } else if (codes[i] == keys::prefix) {
            check(i + 1 < codes.size(), "a key prefix without its second code");
            const int second = codes[++i];
            check(second == keys::up || second == keys::down || second == keys::right || second == keys::left ||
                      second == keys::del || second == keys::unmapped,
                  "a special key with an unknown second code");
            ++specials;
        }
    }
    check(specials <= escapes, "more special keys than escape bytes");
}

}  // namespace

int keyDecoderInput(const std::uint8_t* data, std::size_t size) {
    InputReader input(data, size);
    KeyDecoder decoder;
    std::vector<unsigned char> fed;
    std::vector<int> codes;
    std::size_t flushes = 0;
    while (!input.empty()) {
        const std::uint8_t header = input.byte();
        const std::size_t length = (header & 0x3f) == 0 ? 64 : header & 0x3f;
        for (char byte : input.bytes(length)) {
            decoder.feed(static_cast<unsigned char>(byte));
            fed.push_back(static_cast<unsigned char>(byte));
        }
        // A reader takes what is queued after every read.
        drain(decoder, codes);
        if ((header & 0x80) != 0 && decoder.incomplete()) {
            decoder.flush();
            ++flushes;
            check(!decoder.incomplete(), "still incomplete after flush");
            drain(decoder, codes);
        }
    }
    // The end of the input is a pause too.
    decoder.flush();
    ++flushes;
    check(!decoder.incomplete(), "still incomplete after flush");
    drain(decoder, codes);

    check(codes.size() <= 2 * (fed.size() + flushes), "more codes than the bytes can explain");
    bool plain = true;
    for (unsigned char byte : fed) plain = plain && byte != esc && !keys::isPrefix(byte);
    if (plain) checkPlainText(fed, codes);
    checkSpecialKeys(fed, codes);
    return 0;
}

}  // namespace fuzz

GLOAM_FUZZ_TARGET(fuzz::keyDecoderInput)
