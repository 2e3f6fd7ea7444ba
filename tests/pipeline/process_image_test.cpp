#include "app/process_image.h"

#include <signal.h>
#include <sys/resource.h>

#include "imageops/bitmap_bridge.h"
#include "imaging/bitmap_conversion.h"
#include "pipeline/pipeline_test_util.h"
#include "templates/template_file.h"

namespace imprimo::testing {
namespace {

// Runs ProcessImage on row 0 of a one-row host.
struct TOneImage {
  TRunEnv env;
  TRecordingHost host;
  int status = -1;
  TImageResult result;

  TImageResult Process(const std::string& path) {
    host.rows.clear();
    host.AddPaths({path});
    result = ProcessImage(path, 0, status, env.context, host);
    return result;
  }
};

TEST(OutputFolder, MirrorsSubFoldersBelowTheAddedFolder) {
  TOneImage t;
  t.env.added = {t.env.Src("")};
  WritePicture(t.env.Src("trip/day1/a.jpg"), 40, 30);
  WritePicture(t.env.Src("b.jpg"), 40, 30);
  t.Process(t.env.Src("trip/day1/a.jpg"));
  EXPECT_EQ(t.status, kStatusSucceeded) << t.result.Reason;
  EXPECT_EQ(t.result.OutputPath, t.env.Out("trip/day1/a.jpg"));
  EXPECT_TRUE(fs::is_regular_file(t.env.Out("trip/day1/a.jpg")));
  t.Process(t.env.Src("b.jpg"));
  EXPECT_EQ(t.result.OutputPath, t.env.Out("b.jpg"));
}

TEST(OutputFolder, FolderThatIsAnEntryOrUnderNoEntryGoesStraightIntoOutPath) {
  TSettings s;
  s.PathType = 2;
  s.OutPath = "/o/";
  const std::vector<std::string> added = {"/p/", "/p/trip/"};
  // The file's own folder is an entry (compared without letter case).
  EXPECT_EQ(OutputFolderFor("/p/TRIP/a.jpg", s, added, false), "/o/");
  EXPECT_EQ(OutputFolderFor("/elsewhere/x/a.jpg", s, added, false), "/o/");
}

TEST(OutputFolder, FirstMatchingEntryInAddedOrderWins) {
  TSettings s;
  s.PathType = 2;
  s.OutPath = "/o/";
  // The first entry that occurs in the folder decides, even when a later
  // entry is the closer one.
  EXPECT_EQ(OutputFolderFor("/photos/x/y/a.jpg", s, {"/photos/", "/scans/", "/photos/x/"}, false),
            "/o/x/y/");
  EXPECT_EQ(OutputFolderFor("/photos/x/y/a.jpg", s, {"/photos/x/", "/photos/"}, false), "/o/y/");
  // Letter case counts when looking for the entry inside the folder.
  EXPECT_EQ(OutputFolderFor("/Photos/x/a.jpg", s, {"/photos/"}, false), "/o/");
  s.PathType = 1;
  EXPECT_EQ(OutputFolderFor("/photos/x/a.jpg", s, {"/photos/"}, false), "/photos/x/");
}

TEST(OutputName, ExtensionCaseRule) {
  EXPECT_EQ(ApplyExtensionCase(".jpg", ".JPG", 2), ".JPG");
  EXPECT_EQ(ApplyExtensionCase(".jpg", ".Jpg", 2), ".Jpg");
  EXPECT_EQ(ApplyExtensionCase(".jpg", ".jpeg", 2), ".jpg");
  EXPECT_EQ(ApplyExtensionCase(".png", ".JPG", 2), ".png");
  EXPECT_EQ(ApplyExtensionCase(".png", ".JPG", 0), ".PNG");
  EXPECT_EQ(ApplyExtensionCase(".jpg", ".JPG", 1), ".jpg");
  EXPECT_EQ(ApplyExtensionCase(".jpg", ".JPG", 7), ".jpg");
  EXPECT_EQ(OutputExtension(12), ".jp2");
  EXPECT_EQ(OutputExtension(99), ".jpg");
}

TEST(OutputName, UpperCaseSourceThroughThePipeline) {
  struct Case {
    int saveFormat, changeCase;
    const char* expected;
  } cases[] = {{0, 2, "IMG_1.JPG"}, {1, 2, "IMG_1.png"}, {1, 0, "IMG_1.PNG"}};
  for (const Case& c : cases) {
    TOneImage t;
    WritePicture(t.env.Src("IMG_1.JPG"), 32, 24);
    t.env.settings.SaveFormat = c.saveFormat;
    t.env.settings.ChangeCase = c.changeCase;
    t.Process(t.env.Src("IMG_1.JPG"));
    EXPECT_EQ(t.status, kStatusSucceeded) << t.result.Reason;
    EXPECT_EQ(FilesUnder(t.env.Out("")), std::vector<std::string>{c.expected});
  }
}

TEST(OutputName, CollisionsAreNumberedUnlessOverwriting) {
  TOneImage t;
  WritePicture(t.env.Src("a.jpg"), 32, 24);
  WriteText(t.env.Out("a.jpg"), "old");
  WriteText(t.env.Out("a(1).jpg"), "old");
  t.Process(t.env.Src("a.jpg"));
  EXPECT_EQ(t.result.OutputPath, t.env.Out("a(2).jpg"));
  EXPECT_EQ(ReadBytes(t.env.Out("a.jpg")).size(), 3u);

  t.env.settings.OverwriteOutput = true;
  t.Process(t.env.Src("a.jpg"));
  EXPECT_EQ(t.result.OutputPath, t.env.Out("a.jpg"));
  EXPECT_GT(ReadBytes(t.env.Out("a.jpg")).size(), 100u);
}

TEST(OutputName, RenamePatternKeepsTheSourceExtensionRule) {
  TOneImage t;
  WritePicture(t.env.Src("photo.jpeg"), 32, 24);
  t.env.settings.Rename = true;
  t.env.settings.RenameTpl = "New####";
  t.env.settings.RenameNo = 42;
  t.Process(t.env.Src("photo.jpeg"));
  EXPECT_EQ(t.result.OutputPath, t.env.Out("New0042.jpg"));
}

// Renders the template onto the source as the pipeline does, naming the file
// the variables show.
std::vector<uint8_t> Stamped(const std::string& source, const std::string& templatePath,
                             const std::string& fileName) {
  TTemplateState state;
  state.TemplateDoc = OpenTemplateFile(templatePath);
  RasterImage image;
  EXPECT_TRUE(ReadImageFile(source, image));
  TBitmap bitmap;
  ImageToBitmap(image, bitmap);
  ApplyTemplate(state, bitmap, fileName);
  RasterImage out;
  BitmapToImage(bitmap, out);
  ImageConvert(out, ifR8G8B8);
  return std::vector<uint8_t>(out.Bits.get(), out.Bits.get() + out.Size);
}

std::vector<uint8_t> PixelsOf(const std::string& path) {
  RasterImage image;
  EXPECT_TRUE(ReadImageFile(path, image));
  ImageConvert(image, ifR8G8B8);
  return std::vector<uint8_t>(image.Bits.get(), image.Bits.get() + image.Size);
}

TEST(OutputName, FileNameVariableShowsThePlannedNameNotTheNumberedOne) {
  TOneImage t;
  WritePicture(t.env.Src("a.png"), 160, 40, "png");
  WriteText(t.env.Out("a.png"), "taken");
  WriteTextTemplate(t.env.templatePath, "{$FEU}");
  t.env.work.Template.TemplateDoc = OpenTemplateFile(t.env.templatePath);
  t.env.settings.SaveFormat = 1;
  t.Process(t.env.Src("a.png"));
  ASSERT_EQ(t.result.OutputPath, t.env.Out("a(1).png")) << t.result.Reason;
  const std::vector<uint8_t> written = PixelsOf(t.result.OutputPath);
  EXPECT_EQ(written, Stamped(t.env.Src("a.png"), t.env.templatePath, "a.png"));
  EXPECT_NE(written, Stamped(t.env.Src("a.png"), t.env.templatePath, "a(1).png"));
}

// The quality and compression travel with each save; the process-wide option
// table keeps what its own callers set.
TEST(PipelineSaveOptions, QualityTravelsWithTheSaveAndLeavesTheOptionTableAlone) {
  TOneImage t;
  WritePicture(t.env.Src("a.png"), 64, 48, "png");
  const int32_t tableQuality = GetImagingOption(ImagingJpegQuality);
  const int32_t tableLevel = GetImagingOption(ImagingPNGCompressLevel);
  t.env.settings.SaveFormat = 0;
  t.env.settings.Quality = 75;
  t.Process(t.env.Src("a.png"));
  ASSERT_EQ(t.status, kStatusSucceeded) << t.result.Reason;
  EXPECT_EQ(GetImagingOption(ImagingJpegQuality), tableQuality);
  // The same picture saved at 75 and at 30 by the image layer: the run's file
  // is the one at 75.
  RasterImage image;
  ASSERT_TRUE(ReadImageFile(t.env.Src("a.png"), image));
  ImageConvert(image, ifR8G8B8);
  const std::string at75 = t.env.Out("ref75.jpg"), at30 = t.env.Out("ref30.jpg");
  ASSERT_TRUE(WriteImageFile(at75, image, TSaveOptions().Set(ImagingJpegQuality, 75)));
  ASSERT_TRUE(WriteImageFile(at30, image, TSaveOptions().Set(ImagingJpegQuality, 30)));
  EXPECT_EQ(ReadBytes(t.env.Out("a.jpg")), ReadBytes(at75));
  EXPECT_NE(ReadBytes(at75), ReadBytes(at30));
  EXPECT_EQ(GetImagingOption(ImagingJpegQuality), tableQuality);

  t.env.settings.SaveFormat = 1;
  t.env.settings.Compress = 0;
  t.Process(t.env.Src("a.png"));
  ASSERT_EQ(t.status, kStatusSucceeded) << t.result.Reason;
  t.env.settings.Compress = 9;
  t.env.settings.OverwriteOutput = false;
  t.Process(t.env.Src("a.png"));
  ASSERT_EQ(t.result.OutputPath, t.env.Out("a(1).png"));
  EXPECT_GT(fs::file_size(t.env.Out("a.png")), fs::file_size(t.env.Out("a(1).png")));
  EXPECT_EQ(GetImagingOption(ImagingPNGCompressLevel), tableLevel);
}

TEST(PipelineSaveOptions, EmptyFormatSelectionBecomesJpegAndStrangeIndexesGiveJpg) {
  TOneImage t;
  WritePicture(t.env.Src("a.png"), 32, 24, "png");
  t.env.settings.SaveFormat = -1;
  t.Process(t.env.Src("a.png"));
  // One image only reads the record; the run stores the JPEG choice.
  EXPECT_EQ(t.env.settings.SaveFormat, -1);
  EXPECT_TRUE(t.result.Decoded);
  EXPECT_EQ(t.result.OutputPath, t.env.Out("a.jpg"));
  t.env.settings.SaveFormat = 40;
  t.Process(t.env.Src("a.png"));
  EXPECT_EQ(t.env.settings.SaveFormat, 40);
  EXPECT_EQ(t.result.OutputPath, t.env.Out("a(1).jpg"));
}

TEST(PipelineSaveOptions, AvifWithMetadataIsEncodedWithTheCheckedQuality) {
  // A quality the AVIF format does not take is written as its default, by
  // the picture's save and by the save that adds the metadata alike.
  TOneImage t;
  WritePicture(t.env.Src("a.jpg"), 40, 30, "jpg", true);
  t.env.settings.SaveFormat = 17;
  t.env.settings.KeepExif = true;
  t.env.settings.Quality = 150;
  t.Process(t.env.Src("a.jpg"));
  ASSERT_EQ(t.status, kStatusSucceeded) << t.result.Reason;
  t.env.settings.Quality = 80;
  t.Process(t.env.Src("a.jpg"));
  ASSERT_EQ(t.result.OutputPath, t.env.Out("a(1).avif"));
  EXPECT_EQ(ReadBytes(t.env.Out("a.avif")), ReadBytes(t.env.Out("a(1).avif")));
}

TEST(PipelineSaveOptions, RunStoresTheJpegChoiceOnceASourceIsDecoded) {
  TRunEnv env;
  TRecordingHost host;
  WriteText(env.Src("broken.png"), "not a picture");
  env.AddFiles(host, {env.Src("broken.png")});
  env.settings.SaveFormat = -1;
  RunBatch(env.context, host);
  EXPECT_EQ(env.settings.SaveFormat, -1);  // nothing was decoded
  WritePicture(env.Src("a.png"), 32, 24, "png");
  env.AddFiles(host, {env.Src("a.png")});
  RunBatch(env.context, host);
  EXPECT_EQ(env.settings.SaveFormat, 0);
  EXPECT_TRUE(fs::is_regular_file(env.Out("a.jpg")));
}

TEST(PipelineColumns, DimensionsBeforeAndAfterResizeAndBorder) {
  TOneImage t;
  WritePicture(t.env.Src("a.jpg"), 400, 300);
  t.env.settings.Resize = true;
  t.env.settings.NewWidth = 200;
  t.env.settings.NewHeight = 200;
  t.env.settings.ResizeMode = 3;
  t.env.settings.DrawBorder = true;
  t.env.settings.BorderPosition = false;  // outside: the picture grows
  t.Process(t.env.Src("a.jpg"));
  ASSERT_EQ(t.status, kStatusSucceeded) << t.result.Reason;
  const ImageListEntry& row = t.host.rows[0];
  EXPECT_EQ(row.Columns[kColOriginalDimension], "400 x 300");
  EXPECT_EQ(row.Columns[kColNewDimension], "208 x 158");
  EXPECT_EQ(row.Columns[kColNewSize], FormatSizeText(FileSizeOf(t.result.OutputPath)));
  EXPECT_EQ(row.Icon, kIconSucceeded);
}

TEST(PipelineBadInput, TextFileNamedJpgFailsAndWritesNothing) {
  TOneImage t;
  WriteText(t.env.Src("notes.jpg"), "this is not a picture\n");
  t.Process(t.env.Src("notes.jpg"));
  EXPECT_EQ(t.status, kStatusFailed);
  EXPECT_EQ(t.host.rows[0].Icon, kIconFailed);
  EXPECT_EQ(t.host.rows[0].Columns[kColOriginalDimension], "");
  EXPECT_EQ(t.host.rows[0].Columns[kColFormat], "UNKNOWN");
  EXPECT_FALSE(t.result.Reason.empty());
  EXPECT_TRUE(FilesUnder(t.env.Out("")).empty());
}

TEST(PipelineBadInput, CorruptEmptyAndMissingFilesFailWithAReason) {
  TOneImage t;
  WritePicture(t.env.Src("good.jpg"), 64, 48);
  std::vector<uint8_t> bytes = ReadBytes(t.env.Src("good.jpg"));
  bytes.resize(bytes.size() / 3);
  WriteBytes(t.env.Src("cut.jpg"), bytes);
  WriteBytes(t.env.Src("empty.jpg"), {});
  for (const char* name : {"cut.jpg", "empty.jpg", "gone.jpg"}) {
    t.Process(t.env.Src(name));
    EXPECT_EQ(t.status, kStatusFailed) << name;
    EXPECT_EQ(t.host.rows[0].Icon, kIconFailed) << name;
    EXPECT_FALSE(t.result.Reason.empty()) << name;
  }
  EXPECT_TRUE(FilesUnder(t.env.Out("")).empty());
}

TEST(PipelineBadInput, UnwritableOutputFailsWithAClearReason) {
  TOneImage t;
  WritePicture(t.env.Src("trip/a.jpg"), 32, 24);
  t.env.added = {t.env.Src("")};
  // A file where the mirrored folder should go: the folder cannot be made.
  WriteText(t.env.Out("trip"), "in the way");
  t.Process(t.env.Src("trip/a.jpg"));
  EXPECT_EQ(t.status, kStatusFailed);
  EXPECT_NE(t.result.Reason.find("saving"), std::string::npos) << t.result.Reason;
  EXPECT_EQ(t.host.rows[0].Columns[kColNewSize], "");
}

TEST(PipelineBadInput, ReadOnlyOutputFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  TOneImage t;
  WritePicture(t.env.Src("a.jpg"), 32, 24);
  fs::permissions(t.env.Out(""), fs::perms::owner_read | fs::perms::owner_exec);
  t.Process(t.env.Src("a.jpg"));
  EXPECT_EQ(t.status, kStatusFailed);
  EXPECT_FALSE(t.result.Reason.empty());
}

// Limits the size of files this process may write; the signal that would
// end the process is ignored, so writes fail instead.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit l = old_;
    l.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &l);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  sighandler_t oldHandler_;
};

TEST(PipelineBadInput, FailedSaveOverTheSourceLeavesItUntouched) {
  TOneImage t;
  WritePicture(t.env.Src("a.bmp"), 200, 150, "bmp");
  const std::vector<uint8_t> before = ReadBytes(t.env.Src("a.bmp"));
  t.env.settings.PathType = 1;
  t.env.settings.OverwriteOutput = true;
  t.env.settings.SaveFormat = 2;
  {
    TFileSizeLimit limit(4096);
    t.Process(t.env.Src("a.bmp"));
  }
  EXPECT_EQ(t.status, kStatusFailed);
  EXPECT_EQ(ReadBytes(t.env.Src("a.bmp")), before);
  EXPECT_EQ(FilesUnder(t.env.Src("")), std::vector<std::string>{"a.bmp"});
  // Without the limit the same run replaces the source.
  t.Process(t.env.Src("a.bmp"));
  EXPECT_EQ(t.status, kStatusSucceeded) << t.result.Reason;
  EXPECT_EQ(t.result.OutputPath, t.env.Src("a.bmp"));
}

}  // namespace
}  // namespace imprimo::testing
