// Turns the bytes a terminal sends into the program's key codes.
#pragma once

#include "platform/Keys.h"

#include <deque>
#include <string>

namespace platform {

/// Decodes a terminal's byte stream into key codes 0..255 as Console promises
/// them. Pure: it never reads or waits; the reader feeds bytes as they come and
/// calls flush() when none followed an unfinished sequence within a short wait.
///
/// - Cursor keys, `ESC [ A..D` or `ESC O A..D`, become 224 then 'H' (up),
///   'P' (down), 'M' (right) or 'K' (left). A cursor key with a modifier
///   (`ESC [1;5C`, Ctrl+Right) is a different key, as on consoles that give
///   Ctrl+arrows codes of their own: it counts as an unmapped key.
/// - Delete, `ESC [ 3 ~`, becomes 224 then 'S' (keys::del).
/// - Every other escape sequence (Home, End, Insert, Page Up/Down,
///   F1-F12, with or without modifiers, the Linux console's `ESC [ [ A`, and
///   Alt+key, i.e. ESC followed directly by any other byte) is consumed whole
///   and becomes 224 then keys::unmapped, so none of its bytes reaches a
///   hotkey.
/// - ESC with nothing after it (flush() called) is Escape, 27. ESC ESC is one
///   Escape followed by the start of a new key.
/// - CR and LF are both Enter, 13; an LF directly after a CR is dropped, so a
///   CR LF line end is one Enter.
/// - A byte 0 or 224 followed at once by a printable byte is a special key
///   spelled out (`printf '\340K'` is cursor left): both codes pass as they
///   are. A 0 or 224 on its own (Ctrl+Space sends 0), or before a control
///   byte, is a key of its own that does nothing: 224 then keys::unmapped.
///   Either way a prefix code is queued together with its second code, so no
///   reader ever waits for a second code that may never come.
/// - Every other byte is its own code; UTF-8 text arrives byte by byte.
class KeyDecoder {
public:
    /// Takes one byte; any codes it completes are queued.
    void feed(unsigned char byte);
    /// True while the bytes so far may be the start of a longer key (a lone
    /// ESC or prefix byte, or an unfinished sequence). The reader then waits
    /// briefly for more bytes and calls flush() if none come.
    bool incomplete() const { return stage_ != Stage::Ground; }
    /// No more bytes followed: a pending lone ESC becomes 27, a lone prefix
    /// byte or an unfinished sequence an unmapped key (224, keys::unmapped).
    void flush();

    bool hasKey() const { return !keys_.empty(); }
    /// Removes and returns the oldest queued code; -1 when none is queued.
    int takeKey();

private:
    enum class Stage { Ground, Escape, Csi, CsiBracket, Ss3, Prefix };

    void finishSequence(unsigned char finalByte);
    void emitSpecial(int second);

    Stage stage_ = Stage::Ground;
    std::string params_;
    int prefixByte_ = 0;
    bool lastWasCr_ = false;
    std::deque<int> keys_;
};

}  // namespace platform
