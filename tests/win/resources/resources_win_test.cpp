// The program's resources as the windows get them: banner, icons, state images, version, manifest.
#include "resources/resource_ids.h"
#include "resources/resource_loading_win.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <cstdint>
#include <cwctype>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace {

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
using OwnedBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
struct IconDeleter {
  void operator()(HICON icon) const noexcept { DestroyIcon(icon); }
};
using OwnedIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
struct ImageListDeleter {
  void operator()(HIMAGELIST list) const noexcept { ImageList_Destroy(list); }
};
using OwnedImageList = std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListDeleter>;
struct DcDeleter {
  void operator()(HDC dc) const noexcept { DeleteDC(dc); }
};
using OwnedMemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

std::uint32_t readU32(std::span<const unsigned char> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[at + 2]) << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}
std::uint16_t readU16(std::span<const unsigned char> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

struct Rgb {
  int r, g, b;
};

// A top-down 32-bpp DIB section, its pixels readable in memory.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<const std::uint32_t*>(bits);
    dc_.reset(CreateCompatibleDC(nullptr));
    if (dc_ && bitmap_) old_ = SelectObject(dc_.get(), bitmap_.get());
  }
  ~Canvas() {
    if (old_) SelectObject(dc_.get(), old_);
  }
  bool ok() const { return bits_ != nullptr && old_ != nullptr; }
  HDC dc() const { return dc_.get(); }
  void fill(COLORREF colour) {
    RECT all{0, 0, width_, height_};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc_.get(), &all, brush);
    DeleteObject(brush);
    GdiFlush();
  }
  Rgb at(int x, int y) const {
    GdiFlush();
    const std::uint32_t p = bits_[y * width_ + x];
    return {static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff), static_cast<int>(p & 0xff)};
  }

 private:
  int width_, height_;
  OwnedBitmap bitmap_;
  OwnedMemoryDc dc_;
  const std::uint32_t* bits_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

void copyBitmapInto(Canvas& canvas, HBITMAP source, int width, int height) {
  OwnedMemoryDc from(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(from);
  HGDIOBJ old = SelectObject(from.get(), source);
  ASSERT_NE(old, nullptr);
  EXPECT_TRUE(BitBlt(canvas.dc(), 0, 0, width, height, from.get(), 0, 0, SRCCOPY)) << GetLastError();
  SelectObject(from.get(), old);
}

int luminance(Rgb c) { return (c.r * 30 + c.g * 59 + c.b * 11) / 100; }

// --- banner -------------------------------------------------------------

TEST(Banner, RawDataIsA256ColourGifOf469x62) {
  const auto gif = resourceBytes(IDR_BANNER_GIF);
  ASSERT_GE(gif.size(), 13u);
  const std::string_view signature(reinterpret_cast<const char*>(gif.data()), 6);
  EXPECT_TRUE(signature == "GIF89a" || signature == "GIF87a") << signature;
  EXPECT_EQ(readU16(gif, 6), 469);
  EXPECT_EQ(readU16(gif, 8), 62);
  const unsigned packed = gif[10];
  EXPECT_TRUE(packed & 0x80) << "no global colour table";
  EXPECT_EQ(2u << (packed & 7), 256u) << "global colour table entries";
}

TEST(Banner, DecodesTo469x62WithTextOnALightBackground) {
  OwnedBitmap banner(loadBannerBitmap());
  ASSERT_TRUE(banner) << "last error " << GetLastError();
  BITMAP shape{};
  ASSERT_EQ(GetObjectW(banner.get(), sizeof(shape), &shape), static_cast<int>(sizeof(shape)));
  EXPECT_EQ(shape.bmWidth, 469);
  EXPECT_EQ(shape.bmHeight, 62);

  // A blank or garbled decode would not have both: a light background
  // (the top-left corner) and dark text in the left half.
  Canvas canvas(469, 62);
  ASSERT_TRUE(canvas.ok());
  canvas.fill(RGB(255, 0, 255));
  copyBitmapInto(canvas, banner.get(), 469, 62);
  const Rgb corner = canvas.at(2, 2);
  EXPECT_GT(luminance(corner), 220) << corner.r << "," << corner.g << "," << corner.b;
  int dark = 0, magenta = 0;
  for (int y = 0; y < 62; ++y)
    for (int x = 0; x < 469; ++x) {
      const Rgb c = canvas.at(x, y);
      if (x < 234 && luminance(c) < 100) ++dark;
      if (c.r == 255 && c.g == 0 && c.b == 255) ++magenta;
    }
  EXPECT_GT(dark, 200) << "dark text pixels in the left half";
  EXPECT_EQ(magenta, 0) << "pixels the copy did not cover";
}

TEST(Banner, EachCallGivesTheCallerItsOwnBitmap) {
  OwnedBitmap first(loadBannerBitmap());
  OwnedBitmap second(loadBannerBitmap());
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  EXPECT_NE(first.get(), second.get());
  first.reset();
  BITMAP shape{};
  EXPECT_EQ(GetObjectW(second.get(), sizeof(shape), &shape), static_cast<int>(sizeof(shape)));
}

// --- icons ----------------------------------------------------------------

TEST(PasswordIcon, RawDataIsAClassic32x32x32Ico) {
  const auto ico = resourceBytes(IDR_PASSWORD_ICON);
  ASSERT_EQ(ico.size(), 4286u);
  // ICONDIR: reserved 0, type 1 (icon), one image.
  EXPECT_EQ(readU16(ico, 0), 0);
  EXPECT_EQ(readU16(ico, 2), 1);
  EXPECT_EQ(readU16(ico, 4), 1);
  // ICONDIRENTRY: 32 x 32, no palette, 1 plane, 32 bpp, 4,264 bytes at 22.
  EXPECT_EQ(ico[6], 32);
  EXPECT_EQ(ico[7], 32);
  EXPECT_EQ(ico[8], 0);
  EXPECT_EQ(readU16(ico, 10), 1);
  EXPECT_EQ(readU16(ico, 12), 32);
  EXPECT_EQ(readU32(ico, 14), 40u + 4096u + 128u);
  EXPECT_EQ(readU32(ico, 18), 22u);
  // BITMAPINFOHEADER: height counts the colour image and the mask.
  EXPECT_EQ(readU32(ico, 22), 40u);
  EXPECT_EQ(readU32(ico, 26), 32u);
  EXPECT_EQ(readU32(ico, 30), 64u);
  EXPECT_EQ(readU16(ico, 34), 1);
  EXPECT_EQ(readU16(ico, 36), 32);
  EXPECT_EQ(readU32(ico, 38), static_cast<std::uint32_t>(BI_RGB));

  // Real alpha: fully transparent, partly transparent and opaque pixels, and
  // the AND mask marks exactly the fully transparent ones.
  constexpr std::size_t kPixels = 62, kMask = kPixels + 4096;
  int clear = 0, partial = 0, opaque = 0, maskMismatches = 0;
  for (int row = 0; row < 32; ++row)
    for (int x = 0; x < 32; ++x) {
      const unsigned alpha = ico[kPixels + (row * 32 + x) * 4 + 3];
      if (alpha == 0) ++clear;
      else if (alpha == 255) ++opaque;
      else ++partial;
      const bool masked = (ico[kMask + row * 4 + x / 8] >> (7 - x % 8)) & 1;
      if (masked != (alpha == 0)) ++maskMismatches;
    }
  EXPECT_GT(clear, 0);
  EXPECT_GT(partial, 0);
  EXPECT_GT(opaque, 300);
  EXPECT_EQ(maskMismatches, 0);
}

// Width, height and colour depth of an icon's colour bitmap.
struct IconShape {
  int width = 0, height = 0, bitsPerPixel = 0;
};
IconShape shapeOf(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return {};
  OwnedBitmap colour(info.hbmColor), mask(info.hbmMask);
  BITMAP shape{};
  if (!colour || GetObjectW(colour.get(), sizeof(shape), &shape) != sizeof(shape)) return {};
  return {shape.bmWidth, shape.bmHeight, shape.bmBitsPixel};
}

TEST(PasswordIcon, YieldsA32x32Icon) {
  SetLastError(0xdeadbeef);
  OwnedIcon icon(loadPasswordIcon());
  ASSERT_TRUE(icon) << "last error " << GetLastError();
  const IconShape shape = shapeOf(icon.get());
  EXPECT_EQ(shape.width, 32);
  EXPECT_EQ(shape.height, 32);
}

TEST(ProgramIcon, LoadsAtTheAskedSize) {
  for (const int size : {32, 16, 48}) {
    SCOPED_TRACE(size);
    OwnedIcon icon(loadProgramIcon(size));
    ASSERT_TRUE(icon) << "last error " << GetLastError();
    const IconShape shape = shapeOf(icon.get());
    EXPECT_EQ(shape.width, size);
    EXPECT_EQ(shape.height, size);
  }
}

TEST(ProgramIcon, IsTheExecutablesFirstIconGroup) {
  // Explorer shows the first RT_GROUP_ICON; it must be IDI_TESSALINE.
  struct Search {
    static BOOL CALLBACK first(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
      *reinterpret_cast<LPWSTR*>(found) = name;
      return FALSE;
    }
  };
  LPWSTR first = nullptr;
  EnumResourceNamesW(GetModuleHandleW(nullptr), RT_GROUP_ICON, &Search::first, reinterpret_cast<LONG_PTR>(&first));
  ASSERT_TRUE(IS_INTRESOURCE(first));
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(first), static_cast<ULONG_PTR>(IDI_TESSALINE));
}

// --- state images ---------------------------------------------------------

TEST(StateImages, ThreeImagesOf12x13) {
  OwnedImageList list(createStateImageList());
  ASSERT_TRUE(list) << "last error " << GetLastError();
  EXPECT_EQ(ImageList_GetImageCount(list.get()), 3);
  int width = 0, height = 0;
  ASSERT_TRUE(ImageList_GetIconSize(list.get(), &width, &height));
  EXPECT_EQ(width, 12);
  EXPECT_EQ(height, 13);
  IMAGEINFO info{};
  ASSERT_TRUE(ImageList_GetImageInfo(list.get(), 0, &info));
  EXPECT_NE(info.hbmMask, nullptr) << "the list has no mask";
}

enum class Hue { Green, Red, Yellow, Other };

Hue hueOf(Rgb c) {
  // Yellow first: a warm yellow also has red well above green.
  if (c.r > c.b + 60 && c.g > c.b + 60 && (c.r - c.g) < 60 && (c.g - c.r) < 60) return Hue::Yellow;
  if (c.g > c.r + 40 && c.g > c.b + 40) return Hue::Green;
  if (c.r > c.g + 40 && c.r > c.b + 40) return Hue::Red;
  return Hue::Other;
}

TEST(StateImages, GreenRedYellowMonitorsOnTransparentWhite) {
  struct Case {
    int index;
    Hue hue;
    const char* name;
  };
  const Case cases[] = {{0, Hue::Green, "green"}, {1, Hue::Red, "red"}, {2, Hue::Yellow, "yellow"}};
  OwnedImageList list(createStateImageList());
  ASSERT_TRUE(list);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Canvas canvas(12, 13);
    ASSERT_TRUE(canvas.ok());
    canvas.fill(RGB(255, 255, 255));
    ASSERT_TRUE(ImageList_Draw(list.get(), c.index, canvas.dc(), 0, 0, ILD_NORMAL));
    int white = 0, expected = 0, coloured = 0;
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 12; ++x) {
        const Rgb p = canvas.at(x, y);
        if (p.r == 255 && p.g == 255 && p.b == 255) {
          ++white;
          continue;
        }
        ++coloured;
        if (hueOf(p) == c.hue) ++expected;
      }
    // The background shows through around the stand; the symbol covers most of the rest.
    EXPECT_GT(white, 12);
    EXPECT_GT(coloured, 12 * 13 / 2);
    EXPECT_GE(expected * 10, coloured * 9) << expected << " of " << coloured << " pixels";
    // Drawn on another background, the corners take that colour: the mask works.
    canvas.fill(RGB(0, 0, 255));
    ASSERT_TRUE(ImageList_Draw(list.get(), c.index, canvas.dc(), 0, 0, ILD_NORMAL));
    const Rgb corner = canvas.at(0, 12);
    EXPECT_TRUE(corner.r == 0 && corner.g == 0 && corner.b == 255) << corner.r << "," << corner.g << "," << corner.b;
  }
}

// --- version and manifest -------------------------------------------------

std::wstring versionString(const std::vector<unsigned char>& block, const std::wstring& key) {
  struct Translation {
    WORD language, codePage;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length) ||
      length < sizeof(Translation))
    return L"<no translation>";
  wchar_t path[64];
  wsprintfW(path, L"\\StringFileInfo\\%04x%04x\\", translations[0].language, translations[0].codePage);
  wchar_t* value = nullptr;
  if (!VerQueryValueW(block.data(), (path + key).c_str(), reinterpret_cast<void**>(&value), &length) || !value)
    return L"<missing>";
  return value;
}

TEST(Version, NamesTheProgram) {
  wchar_t file[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, file, MAX_PATH), 0u);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
  ASSERT_GT(size, 0u) << "last error " << GetLastError();
  std::vector<unsigned char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(file, 0, size, block.data())) << GetLastError();

  for (const wchar_t* key : {L"FileDescription", L"ProductName", L"CompanyName", L"LegalCopyright"}) {
    const std::wstring value = versionString(block, key);
    EXPECT_TRUE(value == L"Tessaline") << std::string(key, key + wcslen(key));
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
}

std::string manifestText() {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  return data ? std::string(data, SizeofResource(module, found)) : std::string();
}

TEST(Manifest, AsksForCommonControls6AndNothingElseOfNote) {
  const std::string text = manifestText();
  ASSERT_FALSE(text.empty()) << "no RT_MANIFEST 1";
  EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(text.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
  EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
  for (const char* os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                         "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                         "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
    EXPECT_NE(text.find(os), std::string::npos) << "supportedOS " << os;
  // The program converts code page 936 itself; a UTF-8 process code page would break that.
  EXPECT_EQ(text.find("<activeCodePage"), std::string::npos);
}

TEST(Manifest, ActivatesCommonControls6) {
  // The loader honours the manifest at start: the comctl32 in this process is version 6.
  HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
  ASSERT_NE(comctl, nullptr);
  // Version 6 is a side-by-side assembly: it comes from WinSxS, version 5 from system32.
  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(comctl, path, MAX_PATH), 0u);
  std::wstring lower(path);
  for (wchar_t& ch : lower) ch = static_cast<wchar_t>(towlower(ch));
  EXPECT_NE(lower.find(L"\\winsxs\\"), std::wstring::npos) << std::string(lower.begin(), lower.end());
  EXPECT_NE(lower.find(L"common-controls"), std::wstring::npos) << std::string(lower.begin(), lower.end());

  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")));
  ASSERT_NE(getVersion, nullptr);
  DLLVERSIONINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_EQ(getVersion(&info), S_OK);
  // Known difference: Wine's comctl32 reports 5.81 from either location.
  const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  if (!wine) {
    EXPECT_EQ(info.dwMajorVersion, 6u);
  }
}

}  // namespace
