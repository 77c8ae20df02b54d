// The tool's JSON output: text fields that keep any byte sequence whole, and
// the error log's lines turned into records. Kept apart from the commands so
// that the fuzz target can build it alone.
#pragma once

#include <nlohmann/json.hpp>

#include <ctime>
#include <functional>
#include <memory>
#include <string>

namespace zeltool {

// A text as a JSON value: a string when the bytes are UTF-8, otherwise an array
// of the byte values (0 to 255), as journalctl -o json writes such fields.
nlohmann::ordered_json jsonText(const std::string& bytes);
// The bytes of a value made by jsonText (a string or an array of byte values);
// false for anything else.
bool bytesOfJson(const nlohmann::json& value, std::string& bytes);
// One JSON object on one line: every character outside printable ASCII is
// written as \uXXXX, so no control character (C0, DEL, C1) reaches the reader raw.
std::string jsonLine(const nlohmann::ordered_json& value);

// "[Tue Nov 01 09:05:07 2022] " at the start of a log line, read into local time
// fields; false when the line does not start with a time stamp (a further line
// of a message with line ends in it).
bool parseStamp(const std::string& line, std::tm& local);
const std::size_t kStampLength = 27;

// Turns the log's lines into one JSON object per message; a message written
// with line ends inside it spans several lines and becomes one record. Each
// record goes to `emit` as one line of text (without its line end).
class LogRecords {
public:
    LogRecords(const std::string& file, const std::string& host,
               std::function<void(const std::string&)> emit);
    void line(const std::string& text);
    // Writes the record still open, if any.
    void flush();

private:
    std::string m_file;
    std::string m_host;
    std::function<void(const std::string&)> m_emit;
    std::unique_ptr<nlohmann::ordered_json> m_pending;
    std::string m_text; // the pending record's text, as bytes
};

} // namespace zeltool
