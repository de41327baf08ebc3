#pragma once
// The uninstall log's writer, for the log tool and the tests (the program
// only reads logs): fixed-width numbers and length-prefixed texts, and a
// whole log from its content.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/LogFormat.h"

namespace app {

// Fixed-width numbers and length-prefixed texts, appended in order.
class LogWriter {
 public:
  LogWriter& Byte(uint8_t value);
  LogWriter& Int32(int32_t value);  // little-endian two's complement
  LogWriter& UInt32(uint32_t value);  // little-endian
  // A short string: one length byte, then the bytes. Throws
  // std::length_error for a text longer than 255 bytes.
  LogWriter& Text(std::string_view text);
  LogWriter& Raw(std::string_view bytes);
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// The log's bytes. Every entry in the content is written, whatever the
// counts say (so a count larger than its entries gives a log that ends
// early). Throws std::length_error for a text longer than 255 bytes.
std::string WriteLog(const LogContent& content);

}  // namespace app
