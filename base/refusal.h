// A refusal: the one line that says what was refused and why, and the kind of
// refusal as a value beside it, so that a caller (a script's exception above
// all) tells a missing file from a damaged one without reading the text. An
// empty text refuses nothing.
#pragma once

#include <string>

enum class refusal_kind_type {
    none,        // nothing was refused
    value,       // a value or a file's content does not fit
    io,          // the system would not read or write a file: error and path say which and why
    format,      // the file is not of the kind asked for, or of a newer format
    cancelled,   // the user cancelled it
};

// It is its text, so that it reads and compares as one.
struct refusal_type : std::string {
    refusal_kind_type kind = refusal_kind_type::none;
    int error = 0;       // io: the errno
    std::string path;    // io: the file

    refusal_type() = default;
    refusal_type(std::string text) : std::string(std::move(text)), kind(empty() ? refusal_kind_type::none : refusal_kind_type::value) {}
    refusal_type(const char* text) : refusal_type(std::string(text)) {}
    refusal_type(std::string text, refusal_kind_type of, int errno_value = 0, std::string file = {})
        : std::string(std::move(text)), kind(of), error(errno_value), path(std::move(file))
    {
    }
    // The same refusal, its text with this in front ("Unable to load F: ").
    refusal_type said_as(const std::string& before) const
    {
        refusal_type said = *this;
        said.insert(0, before);
        return said;
    }
};

// A refusal of the system's, for errno on that file.
refusal_type refusal_of_errno(int error, const std::string& path);

// The one exception the program throws for a refusal, where a reader unwinds from deep within.
struct refusal_error {
    refusal_type refusal;
};
