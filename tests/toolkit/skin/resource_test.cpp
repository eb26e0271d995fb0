#include <gtest/gtest.h>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ZipWriter.h"
#include "toolkit/skin/UIResource.h"

using namespace SkinUI;

namespace {

std::vector<unsigned char> Bytes(const std::string& s) { return std::vector<unsigned char>(s.begin(), s.end()); }

ImagePtr Decode(const std::string& png, DWORD mask = 0) {
  return DecodeImage(reinterpret_cast<const unsigned char*>(png.data()), png.size(), mask);
}

// Every test starts from a clean resource state and leaves one behind.
class ResourceTest : public ::testing::Test {
 protected:
  void SetUp() override { Resource::Reset(); }
  void TearDown() override { Resource::Reset(); }
};

}  // namespace

TEST_F(ResourceTest, PixelsArePremultipliedAndMaskedToTransparent) {
  // Opaque red, transparent green, half-transparent white, opaque blue (the mask colour).
  ImagePtr image = Decode(UiTest::MakePng(4, 1, {0xFFFF0000, 0x0000FF00, 0x80FFFFFF, 0xFF0000FF}), 0xFF0000FF);
  ASSERT_TRUE(image);
  EXPECT_EQ(4, image->width);
  EXPECT_EQ(1, image->height);
  EXPECT_EQ(0xFFFF0000u, image->pixels[0]);
  EXPECT_EQ(0u, image->pixels[1]);
  EXPECT_EQ(0x80808080u, image->pixels[2]);
  EXPECT_EQ(0u, image->pixels[3]);
  EXPECT_TRUE(image->hasAlpha);
}

TEST_F(ResourceTest, AlphaFlagOnlyWhenSomethingIsTransparent) {
  ImagePtr opaque = Decode(UiTest::MakeSolidPng(3, 2, 0xFF102030));
  ASSERT_TRUE(opaque);
  EXPECT_FALSE(opaque->hasAlpha);
  EXPECT_EQ(0xFF102030u, opaque->pixels[5]);
  ImagePtr masked = Decode(UiTest::MakeSolidPng(3, 2, 0xFF102030), 0xFF102030);
  ASSERT_TRUE(masked);
  EXPECT_TRUE(masked->hasAlpha);
  EXPECT_EQ(0u, masked->pixels[0]);
}

TEST_F(ResourceTest, BrokenAndOversizedPicturesAreRefused) {
  EXPECT_FALSE(Decode("not a picture"));
  std::string png = UiTest::MakeSolidPng(2, 2, 0xFFFFFFFF);
  EXPECT_FALSE(Decode(png.substr(0, png.size() / 2)));
  EXPECT_TRUE(Decode(UiTest::MakeSolidPng(kMaxImageSide, 1, 0xFF000000)));
  EXPECT_FALSE(Decode(UiTest::MakeSolidPng(kMaxImageSide + 1, 1, 0xFF000000)));
  EXPECT_FALSE(Decode(UiTest::MakeSolidPng(1, kMaxImageSide + 1, 0xFF000000)));
}

TEST_F(ResourceTest, ColorImagesAreOnePremultipliedPixel) {
  ImagePtr image = LoadSkinImage(L"#80FF0000", L"*COLOR*", 0);
  ASSERT_TRUE(image);
  EXPECT_EQ(1, image->width);
  EXPECT_EQ(0x80800000u, image->pixels[0]);
  EXPECT_TRUE(image->hasAlpha);
  ImagePtr plain = LoadSkinImage(L"FF00FF00", L"*COLOR*", 0);
  ASSERT_TRUE(plain);
  EXPECT_EQ(0xFF00FF00u, plain->pixels[0]);
  EXPECT_FALSE(plain->hasAlpha);
}

TEST_F(ResourceTest, SkinPathGetsASeparator) {
  Resource::SetSkinPath(L"C:\\skins");
  EXPECT_EQ(L"C:\\skins\\", Resource::SkinPath());
  Resource::SetSkinPath(L"C:/skins/");
  EXPECT_EQ(L"C:/skins/", Resource::SkinPath());
  Resource::SetSkinPath(L"");
  EXPECT_EQ(L"", Resource::SkinPath());
  Resource::SetModuleInstance(::GetModuleHandleW(nullptr));
  EXPECT_EQ(TestSupport::ExeDir(), Resource::ModuleFolder());
}

TEST_F(ResourceTest, MemoryArchiveFindsNamesWithEitherSeparatorAndAnyCase) {
  const std::string zip = ZipTest::ZipWriter()
                              .Add("main.xml", "<Window/>", true)
                              .Add("img/progress.png", UiTest::MakeSolidPng(4, 2, 0xFF00FF00), true)
                              .Add("img/empty.png", "", false)
                              .Build();
  Resource::UseSkinArchive(zip.data(), zip.size());
  EXPECT_EQ(L"membuffer", Resource::SkinZipName());
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(Resource::ReadSkinFile(L"main.xml", bytes));
  EXPECT_EQ(Bytes("<Window/>"), bytes);
  ImagePtr image = LoadSkinImage(L"img\\progress.png", nullptr, 0);
  ASSERT_TRUE(image);
  EXPECT_EQ(4, image->width);
  EXPECT_TRUE(LoadSkinImage(L"IMG\\PROGRESS.PNG", nullptr, 0));
  EXPECT_FALSE(LoadSkinImage(L"img\\empty.png", nullptr, 0));
  EXPECT_FALSE(LoadSkinImage(L"language\\pr_01.png", nullptr, 0));
  EXPECT_FALSE(Resource::ReadSkinFile(std::wstring(256, L'a'), bytes));
}

TEST_F(ResourceTest, FullPathsNotInTheArchiveComeFromDisk) {
  TestSupport::ScratchDir dir;
  const std::wstring banner = dir / L"pr_02.png";
  ASSERT_TRUE(TestSupport::WriteFileBytes(banner, UiTest::MakeSolidPng(7, 3, 0xFF123456)));
  const std::string zip = ZipTest::ZipWriter().Add("main.xml", "x", true).Build();
  Resource::UseSkinArchive(zip.data(), zip.size());
  ImagePtr image = LoadSkinImage(banner, nullptr, 0);
  ASSERT_TRUE(image);
  EXPECT_EQ(7, image->width);
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"empty.png", ""));
  EXPECT_FALSE(LoadSkinImage(dir / L"empty.png", nullptr, 0));
}

TEST_F(ResourceTest, ArchiveFileOnDiskCachedOrOpenedPerRead) {
  TestSupport::ScratchDir dir;
  ASSERT_TRUE(TestSupport::WriteFileBytes(
      dir / L"skin.zip", ZipTest::ZipWriter().Add("img/a.png", UiTest::MakeSolidPng(2, 5, 0xFFFFFFFF), true).Build()));
  Resource::SetSkinPath(dir.path());
  Resource::UseSkinArchive(L"skin.zip", true);
  ImagePtr cached = LoadSkinImage(L"img/a.png", nullptr, 0);
  ASSERT_TRUE(cached);
  EXPECT_EQ(5, cached->height);
  Resource::UseSkinArchive(L"skin.zip", false);
  EXPECT_TRUE(LoadSkinImage(L"img\\A.png", nullptr, 0));
  // A missing archive leaves nothing open: every later lookup fails.
  Resource::UseSkinArchive(L"missing.zip", true);
  EXPECT_FALSE(LoadSkinImage(L"img/a.png", nullptr, 0));
}

TEST_F(ResourceTest, LooseFilesComeFromTheSkinFolder) {
  TestSupport::ScratchDir dir;
  ::CreateDirectoryW((dir / L"img").c_str(), nullptr);
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"img\\b.png", UiTest::MakeSolidPng(3, 3, 0xFF000000)));
  Resource::SetSkinPath(dir.path());
  EXPECT_TRUE(LoadSkinImage(L"img\\b.png", nullptr, 0));
  EXPECT_FALSE(LoadSkinImage(L"img\\c.png", nullptr, 0));
}

TEST_F(ResourceTest, ImageTablesReplaceByNameAndFallBackToShared) {
  CImageTable table;
  ImageRecord* first = table.Insert(L"a", MakeColorImage(L"FFFF0000"));
  ASSERT_TRUE(first);
  ImageRecord* second = table.Insert(L"a", MakeColorImage(L"FF00FF00"));
  EXPECT_EQ(1u, table.Size());
  EXPECT_EQ(second, table.Find(L"a"));
  EXPECT_EQ(0xFF00FF00u, table.Find(L"a")->pixels[0]);

  CUIManager manager;
  ImageRecord* shared = manager.CacheImage(L"FF0000FF", L"*COLOR*", 0, true);
  ASSERT_TRUE(shared);
  EXPECT_EQ(shared, SharedImages().Find(L"FF0000FF"));
  EXPECT_EQ(shared, manager.CachedImage(L"FF0000FF"));
  ImageRecord* own = manager.LookupImage(L"FF00FFFF", L"*COLOR*", 0, true);
  ASSERT_TRUE(own);
  EXPECT_FALSE(SharedImages().Find(L"FF00FFFF"));
  EXPECT_EQ(1u, own->original.size());
  EXPECT_EQ(L"*COLOR*", own->resourceType);
  EXPECT_EQ(own, manager.LookupImage(L"FF00FFFF", L"*COLOR*", 0));
  EXPECT_FALSE(manager.CacheImage(L"", nullptr, 0));
  SharedImages().Clear();
}

// Each scale of a picture is its own file; the loader takes the nearest at or above the window's
// scale and brings it to exactly that scale, or the nearest below when the skin has no larger one.
TEST_F(ResourceTest, DenseScreensGetTheNearestScaleOfAPictureResampledToFit) {
  TestSupport::ScratchDir dir;
  ::CreateDirectoryW((dir / L"img").c_str(), nullptr);
  ::CreateDirectoryW((dir / L"v1.2").c_str(), nullptr);
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"img\\a.png", UiTest::MakeSolidPng(4, 2, 0xFFFF0000)));
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"img\\a@2x.png", UiTest::MakeSolidPng(8, 4, 0xFF0000FF)));
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"img\\a@1.5x.png", UiTest::MakeSolidPng(6, 3, 0xFF00FF00)));
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"v1.2\\only1x", UiTest::MakeSolidPng(4, 2, 0xFF808080)));
  Resource::SetSkinPath(dir.path());

  struct Case {
    int dpi, width, height;
    uint32_t pixel;
  } cases[] = {
      {96, 4, 2, 0xFFFF0000},    // 1x as it is
      {120, 5, 3, 0xFF00FF00},   // 1.25: the 1.5x picture, shrunk
      {144, 6, 3, 0xFF00FF00},   // 1.5x as it is
      {168, 7, 4, 0xFF0000FF},   // 1.75: the 2x picture, shrunk
      {192, 8, 4, 0xFF0000FF},   // 2x as it is
      {288, 12, 6, 0xFF0000FF},  // 3x: nothing at or above, the 2x picture grown
  };
  for (const Case& c : cases) {
    ImagePtr image = LoadSkinImageForDpi(L"img\\a.png", nullptr, 0, 0, c.dpi);
    ASSERT_TRUE(image) << c.dpi;
    EXPECT_EQ(c.width, image->width) << c.dpi;
    EXPECT_EQ(c.height, image->height) << c.dpi;
    EXPECT_EQ(c.dpi, image->dpi);
    EXPECT_EQ(c.pixel, image->pixels[0]) << c.dpi;  // a plain colour stays that colour when resampled
  }
  // A skin with 1x pictures only still works; the dot of a folder is not the picture's extension.
  ImagePtr grown = LoadSkinImageForDpi(L"v1.2\\only1x", nullptr, 0, 0, 192);
  ASSERT_TRUE(grown);
  EXPECT_EQ(8, grown->width);
  EXPECT_EQ(0xFF808080u, grown->pixels[9]);
  EXPECT_FALSE(LoadSkinImageForDpi(L"img\\missing.png", nullptr, 0, 0, 192));
}

// Shrinking averages the pixels it folds together (premultiplied, so a transparent half does not
// darken the colour); growing interpolates.
TEST_F(ResourceTest, ResamplingAveragesWhenShrinkingAndBlendsWhenGrowing) {
  ImagePtr halves = Decode(UiTest::MakePng(2, 1, {0xFFFFFFFF, 0x00000000}));
  ASSERT_TRUE(halves);
  ImagePtr one = ResampleImage(*halves, 1, 1);
  ASSERT_TRUE(one);
  EXPECT_EQ(0x80808080u, one->pixels[0]);
  ImagePtr ramp = Decode(UiTest::MakePng(2, 1, {0xFF000000, 0xFFFFFFFF}));
  ASSERT_TRUE(ramp);
  ImagePtr wide = ResampleImage(*ramp, 4, 1);
  ASSERT_TRUE(wide);
  EXPECT_EQ(0xFF000000u, wide->pixels[0]);
  EXPECT_EQ(0xFFFFFFFFu, wide->pixels[3]);
  const uint32_t grey = wide->pixels[1] & 0xFF;
  EXPECT_GT(grey, 0u);
  EXPECT_LT(grey, 0x80u);
}
