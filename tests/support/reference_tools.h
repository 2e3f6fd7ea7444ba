// Reference tools run as separate processes: shell quoting, running a
// command for its output, probing for a tool, and the one way the tests
// decode a picture with ImageMagick to check our own results against.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace imprimo::testing {

// s quoted for the shell.
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command with its error output discarded and returns its
// standard output; ok tells whether it ran and exited with status 0.
inline std::vector<uint8_t> RunCommand(const std::string& command, bool& ok) {
  std::vector<uint8_t> out;
  FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!p) {
    ok = false;
    return out;
  }
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
  const int status = ::pclose(p);
  ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return out;
}

// Runs a shell command as it stands (its error output goes where the command
// sends it) and returns its standard output as text; exitCode receives the
// exit status, or -1 when the command could not run or was killed.
inline std::string RunCommandText(const std::string& command, int* exitCode = nullptr) {
  std::string output;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) {
    if (exitCode) *exitCode = -1;
    return output;
  }
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
  const int status = ::pclose(p);
  if (exitCode) *exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

// Whether a probing command (such as "convert -version") runs successfully.
inline bool HaveTool(const std::string& probe) {
  return std::system((probe + " >/dev/null 2>&1").c_str()) == 0;
}

// Whether a program of that name is on the search path.
inline bool HaveCommand(const std::string& name) { return HaveTool("command -v " + Quote(name)); }

// Whether ImageMagick's converter and identifier are both installed.
inline bool HaveMagick() {
  static const bool have = HaveCommand("convert") && HaveCommand("identify");
  return have;
}

// How ImageMagick is asked to decode a picture.
struct TMagickRead {
  int Frame = 0;            // the frame read; -1 reads the file as a whole
  bool AutoOrient = false;  // turn the picture upright by its orientation tag
  std::string Before{};     // settings placed before the file name ("-define ...")
  std::string After{};      // operations after reading ("-resize 8x8!", "-coalesce")
  int Channels = 4;         // 4: R, G, B, A; 3: R, G, B
  int Depth = 8;            // 8 or 16 bits a sample (16-bit samples little-endian)
};

// A picture as ImageMagick decoded it, after the operations asked for.
struct TMagickPicture {
  int Width = 0;
  int Height = 0;
  bool HasAlpha = false;  // whether the decoded picture carries an alpha channel
  int Channels = 4;
  int Depth = 8;
  std::vector<uint8_t> Samples;  // rows top to bottom, Channels samples a pixel

  size_t SampleCount() const { return Samples.size() / (Depth / 8); }
  // Sample i (in pixel order) as a number, for either depth.
  unsigned Sample(size_t i) const {
    return Depth == 8 ? Samples[i] : unsigned(Samples[2 * i] | (Samples[2 * i + 1] << 8));
  }
  // The samples as 16-bit numbers (8-bit ones unchanged).
  std::vector<uint16_t> Samples16() const {
    std::vector<uint16_t> out(SampleCount());
    for (size_t i = 0; i < out.size(); ++i) out[i] = uint16_t(Sample(i));
    return out;
  }
};

// Decodes path with ImageMagick; false when it is not installed, refuses the
// file, or writes fewer or more samples than its reported size needs. The
// size and the alpha flag are printed by the same process, after every
// operation, so they describe exactly the samples that follow.
inline bool MagickRead(const std::string& path, TMagickPicture& out, const TMagickRead& how = {}) {
  if (!HaveMagick()) return false;
  const std::string input = how.Frame < 0 ? path : path + "[" + std::to_string(how.Frame) + "]";
  std::string command = "convert ";
  if (!how.Before.empty()) command += how.Before + " ";
  command += Quote(input);
  if (how.AutoOrient) command += " -auto-orient";
  if (!how.After.empty()) command += " " + how.After;
  command += " -print '%w %h %A\\n' -depth " + std::to_string(how.Depth);
  if (how.Depth == 16) command += " -endian LSB";
  command += how.Channels == 3 ? " rgb:-" : " rgba:-";
  bool ok;
  std::vector<uint8_t> bytes = RunCommand(command, ok);
  if (!ok) return false;
  const auto nl = std::find(bytes.begin(), bytes.end(), uint8_t('\n'));
  if (nl == bytes.end()) return false;
  char alpha[32] = {};
  if (std::sscanf(std::string(bytes.begin(), nl).c_str(), "%d %d %31s", &out.Width, &out.Height,
                  alpha) != 3)
    return false;
  out.HasAlpha = std::string(alpha) != "False" && std::string(alpha) != "Undefined";
  out.Channels = how.Channels;
  out.Depth = how.Depth;
  out.Samples.assign(nl + 1, bytes.end());
  return out.Samples.size() ==
         size_t(out.Width) * size_t(out.Height) * size_t(how.Channels) * size_t(how.Depth / 8);
}

// The size of the first frame of path, read without decoding the pixels.
inline bool MagickSize(const std::string& path, int& w, int& h) {
  if (!HaveMagick()) return false;
  bool ok;
  const std::vector<uint8_t> out =
      RunCommand("identify -ping -format '%w %h' " + Quote(path + "[0]"), ok);
  return ok && std::sscanf(std::string(out.begin(), out.end()).c_str(), "%d %d", &w, &h) == 2;
}

// The first frame of path as 8-bit R, G, B, A, as ImageMagick decodes it.
inline bool MagickRgba(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgba) {
  TMagickPicture picture;
  if (!MagickRead(path, picture)) return false;
  w = picture.Width;
  h = picture.Height;
  rgba = std::move(picture.Samples);
  return true;
}

}  // namespace imprimo::testing
