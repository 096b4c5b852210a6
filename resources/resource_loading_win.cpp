// Loading the program's own resources: RCDATA bytes, the GIF banner, the icons, the state images.
#include "resources/resource_loading_win.h"

#include "resources/resource_ids.h"

#include <ole2.h>
#include <olectl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace {

HMODULE programModule() { return GetModuleHandleW(nullptr); }

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
using OwnedBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

struct DcDeleter {
  void operator()(HDC dc) const noexcept { DeleteDC(dc); }
};
using OwnedMemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

struct GlobalDeleter {
  void operator()(HGLOBAL block) const noexcept { GlobalFree(block); }
};
using OwnedGlobal = std::unique_ptr<std::remove_pointer_t<HGLOBAL>, GlobalDeleter>;

// Selects an object into a DC for one scope and puts the old one back.
class SelectionScope {
 public:
  SelectionScope(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectionScope() {
    if (ok()) SelectObject(dc_, old_);
  }
  SelectionScope(const SelectionScope&) = delete;
  SelectionScope& operator=(const SelectionScope&) = delete;
  bool ok() const { return old_ != nullptr && old_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Owns one reference to a COM interface.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(T* p) : p_(p) {}
  ~ComRef() {
    if (p_) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  void** receive() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

// COM for the current thread, for as long as this object lives, unless the
// thread already had it in some other apartment mode (then it is left alone).
class ComScope {
 public:
  ComScope() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComScope() {
    if (initialized_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialized_;
};

std::uint16_t readU16(std::span<const unsigned char> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t readU32(std::span<const unsigned char> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[at + 2]) << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// A copy of any bitmap as a top-down 32-bpp DIB section of the same size.
HBITMAP copyAsDibSection(HBITMAP source, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  OwnedBitmap copy(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!copy) return nullptr;
  OwnedMemoryDc from(CreateCompatibleDC(nullptr));
  OwnedMemoryDc to(CreateCompatibleDC(nullptr));
  if (!from || !to) return nullptr;
  SelectionScope selectFrom(from.get(), source);
  SelectionScope selectTo(to.get(), copy.get());
  if (!selectFrom.ok() || !selectTo.ok()) return nullptr;
  if (!BitBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, SRCCOPY)) return nullptr;
  GdiFlush();
  return copy.release();
}

}  // namespace

std::span<const unsigned char> resourceBytes(int id) {
  const HMODULE module = programModule();
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (!found) return {};
  const DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);  // not freed: resources live as long as the module
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return {};
  return {static_cast<const unsigned char*>(data), size};
}

HBITMAP loadBannerBitmap() {
  const auto gif = resourceBytes(IDR_BANNER_GIF);
  if (gif.empty()) return nullptr;

  // The stream gets its own movable copy of the bytes, which it frees.
  OwnedGlobal block(GlobalAlloc(GMEM_MOVEABLE, gif.size()));
  if (!block) return nullptr;
  void* target = GlobalLock(block.get());
  if (!target) return nullptr;
  std::memcpy(target, gif.data(), gif.size());
  GlobalUnlock(block.get());

  ComScope com;
  IStream* rawStream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(block.get(), TRUE, &rawStream))) return nullptr;
  block.release();
  ComRef<IStream> stream(rawStream);

  ComRef<IPicture> picture;
  if (FAILED(OleLoadPicture(stream.get(), static_cast<LONG>(gif.size()), FALSE, IID_IPicture, picture.receive())))
    return nullptr;
  SHORT type = PICTYPE_UNINITIALIZED;
  OLE_HANDLE handle = 0;
  if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP || FAILED(picture->get_Handle(&handle)))
    return nullptr;
  // The picture owns its bitmap; the caller gets a copy of its own.
  HBITMAP decoded = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
  BITMAP shape{};
  if (GetObjectW(decoded, sizeof(shape), &shape) != sizeof(shape) || shape.bmWidth != kBannerWidth ||
      shape.bmHeight != kBannerHeight)
    return nullptr;
  return copyAsDibSection(decoded, kBannerWidth, kBannerHeight);
}

HICON loadPasswordIcon() {
  // An ICO file: ICONDIR (6 bytes), then 16-byte ICONDIRENTRYs giving each
  // image's size and offset. The image itself is what
  // CreateIconFromResourceEx takes.
  const auto ico = resourceBytes(IDR_PASSWORD_ICON);
  constexpr std::size_t kHeader = 6;
  constexpr std::size_t kEntry = 16;
  if (ico.size() < kHeader + kEntry || readU16(ico, 0) != 0 || readU16(ico, 2) != 1) return nullptr;
  const std::size_t count = readU16(ico, 4);
  if (count == 0 || ico.size() < kHeader + count * kEntry) return nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kHeader + i * kEntry;
    const bool is32 = ico[entry] == 32 && ico[entry + 1] == 32;
    if (!is32 && i + 1 < count) continue;  // prefer the 32 x 32 image, else take the last
    const std::size_t size = readU32(ico, entry + 8);
    const std::size_t offset = readU32(ico, entry + 12);
    if (offset > ico.size() || size > ico.size() - offset || size == 0) return nullptr;
    // A private copy: the function's parameter is not const.
    std::vector<BYTE> image(ico.begin() + static_cast<std::ptrdiff_t>(offset),
                            ico.begin() + static_cast<std::ptrdiff_t>(offset + size));
    return CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE, 0x00030000, 32, 32,
                                    LR_DEFAULTCOLOR);
  }
  return nullptr;
}

HICON loadProgramIcon(int size) {
  return static_cast<HICON>(
      LoadImageW(programModule(), MAKEINTRESOURCEW(IDI_TESSALINE), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

HIMAGELIST createStateImageList() {
  OwnedBitmap strip(static_cast<HBITMAP>(
      LoadImageW(programModule(), MAKEINTRESOURCEW(IDB_STATE_IMAGES), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!strip) return nullptr;
  BITMAP shape{};
  if (GetObjectW(strip.get(), sizeof(shape), &shape) != sizeof(shape) ||
      shape.bmWidth != kStateImageWidth * kStateImageCount || shape.bmHeight != kStateImageHeight)
    return nullptr;
  HIMAGELIST list = ImageList_Create(kStateImageWidth, kStateImageHeight, ILC_COLOR32 | ILC_MASK, kStateImageCount, 0);
  if (!list) return nullptr;
  // White is the transparent colour of the strip.
  if (ImageList_AddMasked(list, strip.get(), RGB(255, 255, 255)) < 0 || ImageList_GetImageCount(list) != kStateImageCount) {
    ImageList_Destroy(list);
    return nullptr;
  }
  return list;
}
