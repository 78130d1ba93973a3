#pragma once
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

// Writes one JSON text to a stdio stream, in the tools' layout: everything on one line with
// ", " between members and elements and ": " after a key, except where the caller asks for
// a line break (NewLine), which indents the next member or element by one space per open
// container. The runner's report, for instance:
//   {"end": "end", "status": 0,
//    "registers": {"R0": "0000000000000000"}}
//
// Values come either whole, as an ordered_json tree (Value: small parts, key order kept), or
// piece by piece (Begin/End, Key, Int/UInt/String/Null), so that an array of a million
// elements streams out without a tree. Strings are written as UTF-8: '"' and '\' escaped,
// control characters escaped as nlohmann-json escapes them ("\n", "\u0001"), other bytes as
// they are; a byte sequence that is not UTF-8 becomes U+FFFD.
//
// The caller keeps the grammar: Key exactly before each member's value inside an object,
// no Key inside an array, one top-level value. A finished text ends with "\n".
// Output is buffered in the writer: nothing else may write to the stream until the writer
// is flushed or destroyed.
class TJsonWriter {
  public:
    using TValue = nlohmann::ordered_json;

    explicit TJsonWriter(std::FILE* out);
    ~TJsonWriter();
    TJsonWriter(const TJsonWriter&) = delete;
    TJsonWriter& operator=(const TJsonWriter&) = delete;

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    void Key(std::string_view key);

    void Value(const TValue& value);
    void Int(int64_t value);
    void UInt(uint64_t value);
    void String(std::string_view value);
    void Null();

    // The next member or element starts a new line.
    void NewLine() { FNewLine = true; }

    // Writes what is buffered to the stream (not fflush).
    void Flush();

  private:
    struct TLevel {
        bool Object;
        bool Empty;
    };

    void BeforeValue(); // the separator in front of a value, a key or a container
    void AfterValue();  // ends the text after the top-level value
    void Separator(bool first);
    void Put(std::string_view text);
    void Put(char ch);
    void PutString(std::string_view text); // quoted and escaped

    std::FILE* FOut;
    std::vector<TLevel> FLevels;
    bool FAfterKey = false;
    bool FNewLine = false;
    std::vector<char> FBuffer;
};
