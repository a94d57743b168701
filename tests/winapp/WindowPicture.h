#pragma once

// What a window of the Windows program draws, read back pixel by pixel (under Wine, on the display that
// scripts/test-windows starts).
#include "panel/ColorRef.h"

#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>
#include <windows.h>

namespace brenwick::winapp::test {

// Windows need a display: scripts/test-windows gives Wine one.
#define REQUIRE_DISPLAY()                                                                                    \
    if (std::getenv("DISPLAY") == nullptr) {                                                                 \
        GTEST_SKIP() << "no display: scripts/test-windows provides one";                                     \
    }

// A window of `className` of the given size, shown or not; destroyed with this object.
class CWindow {
  public:
    CWindow(const wchar_t* className, int width, int height, DWORD style = WS_POPUP) {
        m_Window = ::CreateWindowExW(WS_EX_NOACTIVATE, className, L"", style, 0, 0, width, height, nullptr,
                                     nullptr, ::GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(m_Window, nullptr) << ::GetLastError();
    }
    ~CWindow() { ::DestroyWindow(m_Window); }
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;
    HWND Get() const { return m_Window; }

  private:
    HWND m_Window = nullptr;
};

// What a window draws, as 0x00BBGGRR values, row by row.
class CPicture {
  public:
    CPicture(HWND window, int width, int height)
        : m_Width(width), m_Pixels(static_cast<size_t>(width) * static_cast<size_t>(height)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC screen = ::GetDC(nullptr);
        HDC dc = ::CreateCompatibleDC(screen);
        HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ::ReleaseDC(nullptr, screen);
        HGDIOBJ previous = ::SelectObject(dc, bitmap);
        ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        ::GdiFlush();
        const auto* bgra = static_cast<const uint32_t*>(bits);
        for (size_t i = 0; bgra != nullptr && i < m_Pixels.size(); ++i) {
            const uint32_t p = bgra[i]; // 0x00RRGGBB in memory order B, G, R
            m_Pixels[i] = ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
        }
        ::SelectObject(dc, previous);
        ::DeleteObject(bitmap);
        ::DeleteDC(dc);
    }
    panel::COLORREF At(int x, int y) const { return m_Pixels[static_cast<size_t>(y * m_Width + x)]; }
    // How many pixels of the columns [left, right) have `color`.
    int Count(int left, int right, int height, panel::COLORREF color) const {
        int n = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = left; x < right; ++x) {
                n += At(x, y) == color ? 1 : 0;
            }
        }
        return n;
    }

  private:
    int m_Width;
    std::vector<panel::COLORREF> m_Pixels;
};

} // namespace brenwick::winapp::test
