#include "platform/win32/gdi_text.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/win32/dpi.h"
#include "platform/win32/win32_system.h"

namespace wh::win32 {

GdiTextRenderer::GdiTextRenderer(int dpi)
    : dpi_(dpi > 0 ? dpi : static_cast<int>(WindowDpi(nullptr))),
      dc_(CreateCompatibleDC(nullptr)) {}

GdiTextRenderer::~GdiTextRenderer() {
  for (auto& [key, font] : fonts_) DeleteObject(font);
  DeleteDC(dc_);
}

HFONT GdiTextRenderer::FontFor(const Font& font) {
  const auto key = std::make_tuple(font.face, font.bold, font.size_pt, dpi_);
  auto hit = fonts_.find(key);
  if (hit != fonts_.end()) return hit->second;
  LOGFONTW lf {};
  // A negative height asks for the character height: the point size.
  lf.lfHeight = -static_cast<LONG>(std::lround(font.size_pt * dpi_ / 72.0));
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = ANTIALIASED_QUALITY;
  const std::wstring face = WideFromUtf8(font.face);
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  HFONT f = CreateFontIndirectW(&lf);
  fonts_.emplace(key, f);
  return f;
}

double GdiTextRenderer::LineHeight(const Font& font) {
  SelectObject(dc_, FontFor(font));
  TEXTMETRICW tm {};
  GetTextMetricsW(dc_, &tm);
  return tm.tmHeight;
}

double GdiTextRenderer::TextWidth(const std::string& utf8, const Font& font) {
  SelectObject(dc_, FontFor(font));
  const std::wstring w = WideFromUtf8(utf8);
  SIZE size {};
  GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &size);
  return size.cx;
}

void GdiTextRenderer::Draw(Image& dst, double x, double y, const std::string& utf8,
                           const Font& font, int32_t colour) {
  const std::wstring w = WideFromUtf8(utf8);
  if (w.empty()) return;
  HFONT f = FontFor(font);
  SelectObject(dc_, f);
  SIZE size {};
  GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &size);
  TEXTMETRICW tm {};
  GetTextMetricsW(dc_, &tm);
  // Italic and bold overhangs reach past the advance width.
  const int width = size.cx + tm.tmOverhang + tm.tmAveCharWidth;
  const int height = std::max<int>(size.cy, tm.tmHeight);
  const int x0 = static_cast<int>(std::lround(x)), y0 = static_cast<int>(std::lround(y));
  // The part of the text's box that lies on the picture.
  const int left = std::max(0, x0), top = std::max(0, y0);
  const int right = std::min(dst.width, x0 + width), bottom = std::min(dst.height, y0 + height);
  if (left >= right || top >= bottom) return;

  // Draw onto a copy of what is there, so that the anti-aliased edges blend
  // with the picture, then copy it back.
  BITMAPINFO bi {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top row first, as in Image
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!section) return;
  auto* px = static_cast<uint32_t*>(bits);
  for (int yy = top; yy < bottom; ++yy)
    std::memcpy(px + static_cast<size_t>(yy - y0) * width + (left - x0), &dst.at(left, yy),
                static_cast<size_t>(right - left) * 4);
  HGDIOBJ old_bitmap = SelectObject(dc_, section);
  SetBkMode(dc_, TRANSPARENT);
  SetTextColor(dc_, static_cast<COLORREF>(colour) & 0xFFFFFF);
  SetTextAlign(dc_, TA_TOP | TA_LEFT | TA_NOUPDATECP);
  TextOutW(dc_, 0, 0, w.c_str(), static_cast<int>(w.size()));
  GdiFlush();
  for (int yy = top; yy < bottom; ++yy) {
    const uint32_t* src = px + static_cast<size_t>(yy - y0) * width + (left - x0);
    uint32_t* out = &dst.at(left, yy);
    for (int xx = 0; xx < right - left; ++xx)
      out[xx] = (out[xx] & 0xFF000000u) | (src[xx] & 0x00FFFFFFu);
  }
  SelectObject(dc_, old_bitmap);
  DeleteObject(section);
}

}  // namespace wh::win32
