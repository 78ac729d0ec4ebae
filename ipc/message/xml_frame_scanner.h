#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "ipc/message/xml_name.h"

// The byte and character level of the frame reader (Message::parse_from_peer, in
// message_frame_reader.cpp, which reads the document's structure on top of it): where it stands in
// the document, the classes of bytes its scanners stop on, names, references and quoted values,
// each checked as QXmlStreamReader checks them, and errors that name the line and column. What a
// frame runs through for nearly every byte is defined here, so that it inlines into the reader;
// what only unusual bytes reach (references, multi-byte characters, errors) is in the .cpp.
namespace xml_frame {

// What a byte means to the scanners. Every scanner stops on kSpecial: a control character XML does
// not allow (refused wherever it stands) or the lead of a multi-byte sequence (checked, then taken).
enum ByteClass : uint8_t {
    kSpace = 1 << 0,        // blank, tab, line feed, carriage return
    kPunctuation = 1 << 1,  // characters the tokenizer treats apart: no name or reference starts with one
    kDigit = 1 << 2,        // no name starts with one either
    kNameStop = 1 << 3,     // ends a name after its first character
    kTextStop = 1 << 4,     // interrupts plain character data
    kValueStop = 1 << 5,    // interrupts a plain attribute value
    kSpecial = 1 << 6,      // see above
    kNamePart = 1 << 7,     // ASCII letters, digits, "-", "." and "_": what most names are made of
};

// Built at compile time, so that a frame may be read from any static initialiser.
struct ByteClasses {
    uint8_t of[256] = {};
    constexpr void mark(std::string_view bytes, uint8_t classes) {
        for (const char c : bytes) of[static_cast<unsigned char>(c)] |= classes;
    }
    constexpr ByteClasses() {
        for (int c = 0; c < 0x20; ++c) of[c] = kSpecial;
        for (int c = 0x80; c < 0x100; ++c) of[c] = kSpecial;
        for (const char c : {' ', '\t', '\n', '\r'}) of[static_cast<unsigned char>(c)] = kSpace | kNameStop;
        mark("&#'\"<>[]()|=%/:;,-+*.?!", kPunctuation);
        mark("0123456789", kDigit);
        mark("&#'\"<>[]=%/;?!^|,()+*", kNameStop);
        mark("<&>\r", kTextStop);
        mark("\"'&<\t\n\r", kValueStop);
        for (int c = 0; c < 0x80; ++c) {
            if (xml_ascii_name_class(static_cast<unsigned char>(c)) & kXmlNamePart) of[c] |= kNamePart;
        }
    }
};
inline constexpr ByteClasses kBytes;

// The first byte from `p` on whose class has one of the `stops` bits, or `end`. Scanners walk a
// local pointer: a byte read through a member pointer may alias the member, which would then be
// stored back for every byte.
inline const unsigned char* skip_until(const unsigned char* p, const unsigned char* end, uint8_t stops) {
    while (p < end && !(kBytes.of[*p] & stops)) ++p;
    return p;
}

// Scans the document a frame reader reads; the reader derives from it.
class Scanner {
protected:
    // The longest name QXmlStreamReader takes, in UTF-16 units.
    static constexpr size_t kMaxNameUnits = 4096;

    struct Name {
        std::string_view prefix;  // empty when the name has no colon
        std::string_view local;
        std::string_view qualified;  // as written
        bool is_ascii_ncname;        // known to be an NCName of ASCII characters
    };

    explicit Scanner(std::string_view document)
        : begin_(reinterpret_cast<const unsigned char*>(document.data())), end_(begin_ + document.size()), p_(begin_) {}

    // Errors: each names the line and column of p_.

    [[noreturn]] void fail(const std::string& reason) const;
    [[noreturn]] void fail_premature() const { fail("Premature end of document."); }
    [[noreturn]] void fail_unexpected() const {
        if (p_ == end_) fail_premature();
        fail("Unexpected character.");
    }

    // Bytes and characters.

    bool is_at(std::string_view text) const {
        return static_cast<size_t>(end_ - p_) >= text.size() && std::memcmp(p_, text.data(), text.size()) == 0;
    }
    void expect(unsigned char byte) {
        if (p_ == end_ || *p_ != byte) fail_unexpected();
        ++p_;
    }
    std::string_view view(const unsigned char* first, const unsigned char* last) const {
        return std::string_view(reinterpret_cast<const char*>(first), static_cast<size_t>(last - first));
    }

    // Takes the character at p_, a kSpecial byte: a refused control or a multi-byte sequence that
    // must be well formed and an XML character. Returns the character.
    char32_t take_special();
    // Takes one character of markup or text, checked as take_special checks one.
    void take_character() {
        if (kBytes.of[*p_] & kSpecial) {
            take_special();
        } else {
            ++p_;
        }
    }
    // Whether there was any.
    bool skip_space() {
        const unsigned char* p = p_;
        while (p < end_ && (kBytes.of[*p] & kSpace)) ++p;
        const bool has_space = p != p_;
        p_ = p;
        return has_space;
    }

    // "=" between a name and its value, with optional white space around it (mostly none).
    void expect_equals() {
        if (p_ < end_ && *p_ == '=') {
            ++p_;
        } else {
            skip_space();
            expect('=');
        }
        if (p_ < end_ && (kBytes.of[*p_] & kSpace)) skip_space();
    }

    // Names.

    // A name as QXmlStreamReader scans one: a first character that is no punctuation, digit or
    // space, then anything up to a stop; with `is_qualified` one colon splits prefix and local name.
    Name scan_name(bool is_qualified) {
        const unsigned char* start = p_;
        if (p_ < end_ && (kBytes.of[*p_] & kNamePart) && !(kBytes.of[*p_] & (kDigit | kPunctuation))) {
            // The usual name: ASCII name characters up to a plain stop.
            const unsigned char* stop = p_ + 1;
            while (stop < end_ && (kBytes.of[*stop] & kNamePart)) ++stop;
            const bool is_plain_stop = stop < end_ && (kBytes.of[*stop] & kNameStop);
            if (is_plain_stop && stop - start <= static_cast<ptrdiff_t>(kMaxNameUnits)) {
                p_ = stop;
                const std::string_view name = view(start, stop);
                return Name{{}, name, name, true};
            }
        }
        if (p_ == end_) fail_premature();
        if (kBytes.of[*p_] & (kSpace | kPunctuation | kDigit)) fail("Expected a name.");
        size_t units = 0;
        const unsigned char* colon = nullptr;
        while (true) {
            if (p_ == end_) fail_premature();
            const uint8_t cls = kBytes.of[*p_];
            if (cls & kSpecial) {
                units += take_special() > 0xFFFF ? 2 : 1;
                continue;
            }
            if (*p_ == ':' && p_ != start) {
                if (!is_qualified || colon) break;
                colon = p_;
            } else if ((cls & kNameStop) && p_ != start) {
                break;
            }
            ++p_;
            ++units;
        }
        if (units > kMaxNameUnits) fail("Name longer than 4096 characters.");
        Name name;
        name.is_ascii_ncname = false;
        name.qualified = view(start, p_);
        if (colon) {
            if (colon + 1 == p_) fail_unexpected();  // the colon ends the name
            name.prefix = view(start, colon);
            name.local = view(colon + 1, p_);
        } else {
            name.local = name.qualified;
        }
        return name;
    }

    // References.

    // Decodes the reference at p_ ("&") into `out`; returns the character when it is one (for
    // the "]]>" rule), else 0.
    char32_t read_reference(std::string& out);

    // Attribute values.

    // Takes the quoted value at p_; returns what stands between the quotes. `is_plain` tells
    // whether that is the value's text (else decode_value finds it).
    std::string_view scan_value(bool& is_plain) {
        if (p_ == end_) fail_premature();
        const unsigned char quote = *p_;
        if (quote != '"' && quote != '\'') fail_unexpected();
        const unsigned char* start = ++p_;
        is_plain = true;
        while (true) {
            p_ = skip_until(p_, end_, kValueStop | kSpecial);
            if (p_ == end_) fail_premature();
            if (*p_ == quote) break;
            if (kBytes.of[*p_] & kSpecial) {
                take_special();
                continue;
            }
            is_plain &= *p_ == '"' || *p_ == '\'';
            ++p_;
        }
        return view(start, p_++);
    }

    // The text of a value scan_value took, into `out`. `normalizes` makes tab, line feed and
    // carriage return (with a line feed after it) a blank, as in element attributes; without it a
    // carriage return stays one, except where the Qt reader reads it as a token of its own (first in
    // the value, or after a quote of the other kind), where it becomes a line feed.
    void decode_value(std::string_view value, std::string& out, bool normalizes);

    // A quoted value read whole into `out`.
    void read_value(std::string& out, bool normalizes) {
        bool is_plain;
        const std::string_view value = scan_value(is_plain);
        if (is_plain) {
            out.assign(value.data(), value.size());
        } else {
            decode_value(value, out, normalizes);
        }
    }

    const unsigned char* const begin_;
    const unsigned char* const end_;
    const unsigned char* p_;  // the next byte to read
};

}  // namespace xml_frame
