// Feeds arbitrary bytes as a Log.dat file, and checks that every record read
// is written back as a line that reads back as the same record.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "runlog/run_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/fuzz_runlog_" + std::to_string(getpid()) + ".dat";
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  imprimo::RunLog log;
  log.LoadFromFile(path);
  for (const imprimo::RunLogRecord& record : log.Records()) {
    imprimo::RunLogRecord back;
    const std::string line = imprimo::RunLog::FormatLine(record);
    if (!imprimo::RunLog::ParseLine(line, back)) __builtin_trap();
    if (back.time != record.time || back.title != record.title ||
        back.description != record.description)
      __builtin_trap();
  }
  // The size limit trims from the front and never leaves more than it had.
  const size_t before = log.Records().size();
  log.SetSizeLimit(static_cast<int32_t>(size % 200));
  log.Add("t", "title", "description");
  if (log.Records().size() > before + 1) __builtin_trap();
  return 0;
}
