// How often a run touches its files, traced with strace: each source is
// opened once, each output is written once and never opened for reading.
#include <fcntl.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "pipeline/pipeline_test_util.h"

namespace imprimo::testing {
namespace {

#ifndef IMPRIMO_BATCH_EXE
#define IMPRIMO_BATCH_EXE ""
#endif

struct TOpens {
  int ListReads = 0;  // by the main thread, which lists the files before the run
  int Reads = 0, Writes = 0;
};

// The openat calls of an strace -f log by path. A call two threads made at
// once is split over two lines; its first line names the path and flags.
std::map<std::string, TOpens> OpensIn(const std::string& log) {
  std::map<std::string, TOpens> opens;
  std::ifstream in(log);
  const std::regex call(R"re(^(\d+) +openat\((?:AT_FDCWD|\d+), "([^"]*)", ([A-Z_|]+))re");
  std::string line, mainThread;
  std::smatch m;
  while (std::getline(in, line)) {
    if (!std::regex_search(line, m, call)) continue;
    if (line.find("= -1 ") != std::string::npos) continue;  // a failed open touches nothing
    if (mainThread.empty()) mainThread = m[1];
    const std::string flags = m[3];
    if (flags.find("O_DIRECTORY") != std::string::npos) continue;  // folder syncs and searches
    TOpens& o = opens[m[2]];
    if (flags.find("O_WRONLY") != std::string::npos || flags.find("O_RDWR") != std::string::npos)
      ++o.Writes;
    else if (m[1] == mainThread)
      ++o.ListReads;
    else
      ++o.Reads;
  }
  return opens;
}

// A run over JPEG, PNG, TIFF, WebP and (when heif-enc can make one) HEIC
// sources with the metadata kept and pictures turned upright, each output
// format in turn.
TEST(SourceReads, EverySourceIsOpenedOnceAndNoOutputIsReadBack) {
  if (!HaveCommand("strace") || std::string(IMPRIMO_BATCH_EXE).empty())
    GTEST_SKIP() << "strace or imprimo-batch missing";
  TScratchFolder scratch;
  const std::string program = scratch / "prog/", src = scratch / "src/";
  fs::create_directories(program + "Watermarks");
  fs::create_directories(src);
  WriteTextTemplate(program + "Watermarks/Mark.wg", "Imprimo");
  samples::TExifFields turned;
  turned.Orientation = 6;
  std::vector<std::string> sources;
  const auto add = [&](const std::string& name, const std::string& ext, bool exif) {
    sources.push_back(src + name);
    WritePicture(sources.back(), 48, 32, ext, exif, turned);
  };
  add("camera.jpg", "jpg", true);
  add("flat.png", "png", false);
  add("scan.tif", "tif", false);
  add("web.webp", "webp", false);
  if (HaveCommand("heif-enc") &&
      RunCommandText("heif-enc -q 60 -o " + Quote(src + "phone.heic") + " " +
                     Quote(sources.front()) + " >/dev/null 2>&1; echo $?") == "0\n")
    sources.push_back(src + "phone.heic");

  for (const std::string format : {"jpg", "png", "tif", "webp", "avif"}) {
    SCOPED_TRACE(format);
    const std::string out = scratch / ("out-" + format + "/");
    fs::create_directories(out);
    const std::string log = scratch / ("trace-" + format + ".txt");
    std::string command = "strace -f -e trace=openat -o " + Quote(log) + " '" + IMPRIMO_BATCH_EXE +
                          "' --program-folder " + Quote(program) +
                          " --template Mark --keep-exif --auto-rotate --jobs 2 --format " + format +
                          " --out " + Quote(out);
    for (const std::string& s : sources) command += " " + Quote(s);
    int code = -1;
    const std::string text = RunCommandText(command + " 2>&1", &code);
    ASSERT_EQ(code, 0) << text;
    const std::map<std::string, TOpens> opens = OpensIn(log);
    for (const std::string& s : sources) {
      const auto found = opens.find(s);
      ASSERT_NE(found, opens.end()) << s;
      // The list looks at each file's content once when it is added; the
      // run then reads it once, for the memory budget and the decode alike.
      EXPECT_LE(found->second.ListReads, 1) << s;
      EXPECT_EQ(found->second.Reads, 1) << s;
      EXPECT_EQ(found->second.Writes, 0) << s;
    }
    // Outputs appear under their final names by a rename of the temporary
    // file written once; nothing under the output folder is read.
    int written = 0;
    for (const auto& [path, o] : opens) {
      if (path.rfind(out, 0) != 0) continue;
      EXPECT_EQ(o.Reads + o.ListReads, 0) << path;
      EXPECT_LE(o.Writes, 1) << path;
      written += o.Writes;
    }
    EXPECT_EQ(written, static_cast<int>(sources.size()));
    EXPECT_EQ(FilesUnder(out).size(), sources.size());
  }
}

}  // namespace
}  // namespace imprimo::testing
