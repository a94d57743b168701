#pragma once

#include <memory>
#include <type_traits>
#include <windows.h>

namespace brenwick::winapp {

// GDI objects that the drawing code makes, freed when they go out of scope.

struct GdiDelete {
    void operator()(void* object) const { ::DeleteObject(static_cast<HGDIOBJ>(object)); }
};
// A font, bitmap, brush or region of one's own.
using GdiObject = std::unique_ptr<void, GdiDelete>;

struct DcDelete {
    void operator()(HDC dc) const { ::DeleteDC(dc); }
};
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDelete>;

// Selects an object into a context for the life of this object; a null object selects nothing.
class CSelected {
  public:
    CSelected(HDC dc, HGDIOBJ object)
        : m_Dc(dc), m_Previous(object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
    ~CSelected() {
        if (m_Previous != nullptr) {
            ::SelectObject(m_Dc, m_Previous);
        }
    }
    CSelected(const CSelected&) = delete;
    CSelected& operator=(const CSelected&) = delete;

  private:
    HDC m_Dc;
    HGDIOBJ m_Previous;
};

} // namespace brenwick::winapp
