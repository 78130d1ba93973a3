// The JSON writer: string escaping, the one-line layout with its breaks, and output that
// crosses the writer's buffer.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "UJsonWriter.h"

using TValue = TJsonWriter::TValue;

namespace {
std::string Written(const std::function<void(TJsonWriter&)>& write) {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&data, &size);
    {
        TJsonWriter json(out);
        write(json);
    }
    std::fclose(out);
    std::string text(data, size);
    std::free(data);
    return text;
}
} // namespace

TEST(JsonWriter, EscapesStringsAndKeysAlike) {
    const struct {
        std::string In, Out; // Out without its quotes
    } rows[] = {
        {"", ""},
        {"a\"b", "a\\\"b"},
        {"c\\d/", "c\\\\d/"},
        {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
        {std::string("\0\x01\x1f", 3), "\\u0000\\u0001\\u001f"},
        {"\x7f~ ", "\x7f~ "},
        {"\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80",
         "\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80"}, // é 中 😀 as they are
        {"a\xff", "a\xef\xbf\xbd"},               // not UTF-8: U+FFFD
        {"\xe4\xb8", "\xef\xbf\xbd"},             // cut short
    };
    for (const auto& row : rows) {
        const std::string quoted = "\"" + row.Out + "\"";
        const std::string text = Written([&](TJsonWriter& json) {
            json.BeginObject();
            json.Key(row.In);
            json.String(row.In);
            json.EndObject();
        });
        EXPECT_EQ(text, "{" + quoted + ": " + quoted + "}\n") << row.Out;
        if (row.Out.find("\xef\xbf\xbd") == std::string::npos) { // valid UTF-8 reads back as written
            EXPECT_EQ(TValue::parse(text), TValue({{row.In, row.In}})) << row.Out;
        }
    }
}

TEST(JsonWriter, LayoutOfTreesAndStreamsWithBreaks) {
    const TValue tree = TValue::parse(R"({"b": 1, "a": [true, null, -9223372036854775808,
        18446744073709551615, 1.5, [], {}, {"x": "y"}]})");
    EXPECT_EQ(Written([&](TJsonWriter& json) { json.Value(tree); }),
              "{\"b\": 1, \"a\": [true, null, -9223372036854775808, 18446744073709551615, 1.5, [], {}, "
              "{\"x\": \"y\"}]}\n");
    EXPECT_EQ(Written([&](TJsonWriter& json) {
                  json.BeginObject();
                  json.Key("x");
                  json.BeginArray();
                  json.NewLine();
                  json.Int(-1);
                  json.NewLine();
                  json.Value(tree["a"][7]);
                  json.EndArray();
                  json.NewLine();
                  json.Key("y");
                  json.Null();
                  json.NewLine();
                  json.EndObject();
              }),
              "{\"x\": [\n  -1,\n  {\"x\": \"y\"}],\n \"y\": null}\n");
    EXPECT_EQ(Written([](TJsonWriter& json) { json.String("s"); }), "\"s\"\n");
}

TEST(JsonWriter, OutputLongerThanTheBufferArrivesWhole) {
    const std::string longText(200000, 'x');
    TValue expected = TValue::array({longText});
    const std::string text = Written([&](TJsonWriter& json) {
        json.BeginArray();
        json.String(longText);
        for (uint64_t i = 0; i < 100000; ++i) {
            json.UInt(i << 40);
            expected.push_back(i << 40);
        }
        json.EndArray();
    });
    EXPECT_EQ(TValue::parse(text), expected);
}
