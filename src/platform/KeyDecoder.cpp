// Escape-sequence decoding for terminal keys.
#include "platform/KeyDecoder.h"

namespace platform {

namespace {

constexpr unsigned char esc = 0x1b;

// Bytes that may stand between `ESC [` and the final byte: parameters
// (digits, ';', '<', ...) and intermediates (space to '/').
bool isParameterByte(unsigned char byte) { return byte >= 0x20 && byte <= 0x3f; }
bool isFinalByte(unsigned char byte) { return byte >= 0x40 && byte <= 0x7e; }

// A key's parameters are long only in broken input; keep enough to tell
// plain cursor keys from modified ones.
constexpr std::size_t maxParamsLength = 16;

}  // namespace

void KeyDecoder::feed(unsigned char byte) {
    switch (stage_) {
    case Stage::Ground:
        if (byte == esc) {
            stage_ = Stage::Escape;
        } else if (keys::isPrefix(byte)) {
            prefixByte_ = byte;
            stage_ = Stage::Prefix;
        } else if (byte == '\r') {
            keys_.push_back(keys::enter);
        } else if (byte == '\n') {
            if (!lastWasCr_) keys_.push_back(keys::enter);
        } else {
            keys_.push_back(byte);
        }
        lastWasCr_ = byte == '\r';
        return;

    case Stage::Escape:
        if (byte == '[') {
            params_.clear();
            stage_ = Stage::Csi;
        } else if (byte == 'O') {
            params_.clear();
            stage_ = Stage::Ss3;
        } else if (byte == esc) {
            // The first ESC stood alone; the second may start a sequence.
            keys_.push_back(keys::escape);
        } else {
            // Alt+key: swallowed, so Alt+letter neither ends the program nor
            // reaches a hotkey.
            emitSpecial(keys::unmapped);
            stage_ = Stage::Ground;
        }
        return;

    case Stage::Csi:
        if (byte == '[' && params_.empty()) {
            // Linux console function keys: ESC [ [ A .. ESC [ [ E.
            stage_ = Stage::CsiBracket;
            return;
        }
        [[fallthrough]];
    case Stage::Ss3:
        if (isParameterByte(byte)) {
            if (params_.size() < maxParamsLength) params_.push_back(static_cast<char>(byte));
        } else if (isFinalByte(byte)) {
            finishSequence(byte);
        } else {
            // A control byte cannot be part of a key: the sequence was cut
            // short, and the byte starts something new.
            emitSpecial(keys::unmapped);
            stage_ = Stage::Ground;
            feed(byte);
        }
        return;

    case Stage::CsiBracket:
        emitSpecial(keys::unmapped);
        stage_ = Stage::Ground;
        return;

    case Stage::Prefix:
        stage_ = Stage::Ground;
        if (byte < 0x20 || byte == 0x7f) {
            // Ctrl+Space before Enter or a cursor key: two keys, not one.
            emitSpecial(keys::unmapped);
            feed(byte);
        } else {
            keys_.push_back(prefixByte_);
            keys_.push_back(byte);
            lastWasCr_ = false;
        }
        return;
    }
}

void KeyDecoder::finishSequence(unsigned char finalByte) {
    stage_ = Stage::Ground;
    // "1" is the explicit form of "no modifier" that some terminals send.
    bool plain = params_.empty() || params_ == "1";
    int second = keys::unmapped;
    if (plain) {
        switch (finalByte) {
        case 'A': second = 'H'; break;
        case 'B': second = 'P'; break;
        case 'C': second = 'M'; break;
        case 'D': second = 'K'; break;
        default: break;
        }
    }
    // Delete without modifiers: the one key that fades out the whole scene.
    if (finalByte == '~' && params_ == "3") second = keys::del;
    emitSpecial(second);
}

void KeyDecoder::emitSpecial(int second) {
    keys_.push_back(keys::prefix);
    keys_.push_back(second);
    lastWasCr_ = false;
}

void KeyDecoder::flush() {
    switch (stage_) {
    case Stage::Ground:
        return;
    case Stage::Escape:
        keys_.push_back(keys::escape);
        lastWasCr_ = false;
        break;
    case Stage::Csi:
    case Stage::CsiBracket:
    case Stage::Ss3:
    case Stage::Prefix:
        // Alt+'[' or Alt+'O', or a sequence cut off: still nothing to act on.
        emitSpecial(keys::unmapped);
        break;
    }
    stage_ = Stage::Ground;
}

int KeyDecoder::takeKey() {
    if (keys_.empty()) return -1;
    int key = keys_.front();
    keys_.pop_front();
    return key;
}

}  // namespace platform
