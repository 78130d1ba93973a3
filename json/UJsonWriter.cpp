#include "UJsonWriter.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <string>

namespace {
constexpr size_t BufferSize = 1 << 16;

// True when the text can go out between quotes as it is: printable ASCII without '"' or '\'.
bool IsPlain(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char ch) {
        const auto byte = static_cast<unsigned char>(ch);
        return byte >= 0x20 && byte < 0x7F && ch != '"' && ch != '\\';
    });
}
} // namespace

TJsonWriter::TJsonWriter(std::FILE* out) : FOut(out) {
    FBuffer.reserve(BufferSize);
}

TJsonWriter::~TJsonWriter() {
    Flush();
}

void TJsonWriter::Flush() {
    if (!FBuffer.empty()) std::fwrite(FBuffer.data(), 1, FBuffer.size(), FOut);
    FBuffer.clear();
}

void TJsonWriter::Put(std::string_view text) {
    if (FBuffer.size() + text.size() > BufferSize) Flush();
    FBuffer.insert(FBuffer.end(), text.begin(), text.end());
}

void TJsonWriter::Put(char ch) {
    if (FBuffer.size() == BufferSize) Flush();
    FBuffer.push_back(ch);
}

void TJsonWriter::Separator(bool first) {
    if (FNewLine) {
        if (!first) Put(',');
        Put('\n');
        Put(std::string(FLevels.size(), ' '));
        FNewLine = false;
    } else if (!first) {
        Put(", ");
    }
}

void TJsonWriter::BeforeValue() {
    if (FAfterKey) {
        FAfterKey = false;
        return;
    }
    if (FLevels.empty()) {
        FNewLine = false;
        return;
    }
    TLevel& level = FLevels.back();
    assert(!level.Object && "a member's value needs its Key first");
    Separator(level.Empty);
    level.Empty = false;
}

void TJsonWriter::AfterValue() {
    if (FLevels.empty()) Put('\n');
}

void TJsonWriter::BeginObject() {
    BeforeValue();
    Put('{');
    FLevels.push_back({true, true});
}

void TJsonWriter::EndObject() {
    assert(!FLevels.empty() && FLevels.back().Object && !FAfterKey);
    FLevels.pop_back();
    FNewLine = false;
    Put('}');
    AfterValue();
}

void TJsonWriter::BeginArray() {
    BeforeValue();
    Put('[');
    FLevels.push_back({false, true});
}

void TJsonWriter::EndArray() {
    assert(!FLevels.empty() && !FLevels.back().Object);
    FLevels.pop_back();
    FNewLine = false;
    Put(']');
    AfterValue();
}

void TJsonWriter::Key(std::string_view key) {
    assert(!FLevels.empty() && FLevels.back().Object && !FAfterKey);
    TLevel& level = FLevels.back();
    Separator(level.Empty);
    level.Empty = false;
    PutString(key);
    Put(": ");
    FAfterKey = true;
}

void TJsonWriter::Int(int64_t value) {
    BeforeValue();
    char text[24];
    Put(std::string_view(text, std::to_chars(text, text + sizeof text, value).ptr - text));
    AfterValue();
}

void TJsonWriter::UInt(uint64_t value) {
    BeforeValue();
    char text[24];
    Put(std::string_view(text, std::to_chars(text, text + sizeof text, value).ptr - text));
    AfterValue();
}

void TJsonWriter::String(std::string_view value) {
    BeforeValue();
    PutString(value);
    AfterValue();
}

void TJsonWriter::PutString(std::string_view text) {
    if (IsPlain(text)) {
        Put('"');
        Put(text);
        Put('"');
    } else {
        Put(TValue(std::string(text)).dump(-1, ' ', false, TValue::error_handler_t::replace));
    }
}

void TJsonWriter::Null() {
    BeforeValue();
    Put("null");
    AfterValue();
}

void TJsonWriter::Value(const TValue& value) {
    switch (value.type()) {
    case TValue::value_t::object:
        BeginObject();
        for (const auto& [key, member] : value.items()) {
            Key(key);
            Value(member);
        }
        EndObject();
        return;
    case TValue::value_t::array:
        BeginArray();
        for (const TValue& element : value)
            Value(element);
        EndArray();
        return;
    case TValue::value_t::string:
        String(value.get_ref<const std::string&>());
        return;
    case TValue::value_t::number_integer:
        Int(value.get<int64_t>());
        return;
    case TValue::value_t::number_unsigned:
        UInt(value.get<uint64_t>());
        return;
    case TValue::value_t::null:
        Null();
        return;
    case TValue::value_t::boolean:
    case TValue::value_t::number_float:
    case TValue::value_t::binary:
    case TValue::value_t::discarded:
        BeforeValue();
        Put(value.dump(-1, ' ', false, TValue::error_handler_t::replace));
        AfterValue();
        return;
    }
}
