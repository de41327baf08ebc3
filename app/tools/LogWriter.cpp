// Writing logs: the tool and the test fixtures use it; the uninstaller
// itself only reads.
#include "app/tools/LogWriter.h"

#include <stdexcept>

namespace app {

LogWriter& LogWriter::Byte(uint8_t value) {
  bytes_ += static_cast<char>(value);
  return *this;
}

LogWriter& LogWriter::UInt32(uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes_ += static_cast<char>((value >> shift) & 0xFF);
  return *this;
}

LogWriter& LogWriter::Int32(int32_t value) { return UInt32(static_cast<uint32_t>(value)); }

LogWriter& LogWriter::Text(std::string_view text) {
  if (text.size() > 255) {
    throw std::length_error("a log text holds at most 255 bytes, this one has " + std::to_string(text.size()));
  }
  Byte(static_cast<uint8_t>(text.size()));
  bytes_.append(text);
  return *this;
}

LogWriter& LogWriter::Raw(std::string_view bytes) {
  bytes_.append(bytes);
  return *this;
}

std::string WriteLog(const LogContent& c) {
  LogWriter w;
  w.Byte(c.leadByte).Text(c.appName).Byte(c.hostLevels).Byte(c.shortcutLevels);
  w.Byte(c.regKeyCount.value_or(static_cast<uint8_t>(c.regKeys.size())));
  for (const LogRegKey& k : c.regKeys) w.Byte(k.levels).Text(k.key);
  w.UInt32(c.totalBytes).Text(c.uninstallKey).Text(c.shortcutDir);
  w.Int32(c.shortcutCount.value_or(static_cast<int32_t>(c.shortcuts.size())));
  for (const std::string& s : c.shortcuts) w.Text(s);
  w.Int32(c.folderCount.value_or(static_cast<int32_t>(c.folders.size())));
  for (const LogFolder& f : c.folders) w.Text(f.name).Byte(f.flag);
  w.Int32(c.groupCount.value_or(static_cast<int32_t>(c.groups.size())));
  for (const LogGroup& g : c.groups) {
    w.Int32(g.count.value_or(static_cast<int32_t>(g.files.size())));
    for (const LogFile& f : g.files) w.Text(f.name).UInt32(f.size).Int32(f.date).Byte(f.flag);
  }
  w.Raw(c.trailing);
  return w.bytes();
}

}  // namespace app
