#include "Driver.h"

#include <cstdio>
#include <memory>

namespace driver {

namespace {

class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc()
    {
        if (dc_ != nullptr) {
            ReleaseDC(nullptr, dc_);
        }
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

class MemoryDc {
public:
    explicit MemoryDc(HDC reference) : dc_(CreateCompatibleDC(reference)) {}
    ~MemoryDc()
    {
        if (dc_ != nullptr) {
            if (old_ != nullptr) {
                SelectObject(dc_, old_);
            }
            DeleteDC(dc_);
        }
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const { return dc_; }
    void Select(HGDIOBJ object)
    {
        HGDIOBJ previous = SelectObject(dc_, object);
        if (old_ == nullptr) {
            old_ = previous;
        }
    }

private:
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};

struct GdiObjectDeleter {
    void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
using BitmapOwner = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

// A top-down 32-bit DIB section of the given size; bits receives its pixels.
BitmapOwner MakeDib(HDC dc, int width, int height, void** bits)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return BitmapOwner(CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0));
}

void AppendPixels(const void* bits, int count, std::vector<COLORREF>* out)
{
    const auto* bgra = static_cast<const BYTE*>(bits);
    for (int i = 0; i < count; ++i) {
        out->push_back(RGB(bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]));
    }
}

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};

} // namespace

std::vector<COLORREF> CaptureRect(const RECT& rect)
{
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return {};
    }
    ScreenDc screen;
    MemoryDc memory(screen.Get());
    void* bits = nullptr;
    BitmapOwner dib = MakeDib(screen.Get(), width, height, &bits);
    if (screen.Get() == nullptr || memory.Get() == nullptr || !dib || bits == nullptr) {
        return {};
    }
    memory.Select(dib.get());
    if (!BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), rect.left, rect.top,
                SRCCOPY | CAPTUREBLT)) {
        return {};
    }
    GdiFlush();
    std::vector<COLORREF> pixels;
    pixels.reserve(static_cast<size_t>(width) * height);
    AppendPixels(bits, width * height, &pixels);
    return pixels;
}

COLORREF ScreenPixel(POINT pt)
{
    const std::vector<COLORREF> pixels = CaptureRect(RECT{pt.x, pt.y, pt.x + 1, pt.y + 1});
    return pixels.empty() ? CLR_INVALID : pixels[0];
}

bool SamePixels(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b)
{
    return !a.empty() && a == b;
}

size_t CountDifferences(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b)
{
    const size_t common = std::min(a.size(), b.size());
    size_t differences = std::max(a.size(), b.size()) - common;
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            ++differences;
        }
    }
    return differences;
}

bool SaveBmp(const std::string& path, const std::vector<COLORREF>& pixels, int width, int height)
{
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * height) {
        return false;
    }
    const DWORD rowSize = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + rowSize * static_cast<DWORD>(height);
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    std::unique_ptr<FILE, FileCloser> out(fopen(path.c_str(), "wb"));
    if (!out) {
        return false;
    }
    bool ok = fwrite(&file, sizeof(file), 1, out.get()) == 1 &&
              fwrite(&info, sizeof(info), 1, out.get()) == 1;
    std::vector<BYTE> row(rowSize, 0);
    for (int y = height - 1; ok && y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const COLORREF c = pixels[static_cast<size_t>(y) * width + x];
            row[3 * x] = GetBValue(c);
            row[3 * x + 1] = GetGValue(c);
            row[3 * x + 2] = GetRValue(c);
        }
        ok = fwrite(row.data(), 1, row.size(), out.get()) == row.size();
    }
    return ok;
}

HCURSOR CursorHandle()
{
    CURSORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetCursorInfo(&info)) {
        return nullptr;
    }
    return info.hCursor;
}

std::vector<COLORREF> CursorImage(HCURSOR cursor, int size)
{
    if (cursor == nullptr || size <= 0) {
        return {};
    }
    ScreenDc screen;
    MemoryDc memory(screen.Get());
    void* bits = nullptr;
    BitmapOwner dib = MakeDib(screen.Get(), size, size, &bits);
    if (memory.Get() == nullptr || !dib || bits == nullptr) {
        return {};
    }
    memory.Select(dib.get());
    std::vector<COLORREF> image;
    const RECT square{0, 0, size, size};
    for (int background : {WHITE_BRUSH, BLACK_BRUSH}) {
        FillRect(memory.Get(), &square, static_cast<HBRUSH>(GetStockObject(background)));
        if (!DrawIconEx(memory.Get(), 0, 0, cursor, size, size, 0, nullptr, DI_NORMAL)) {
            return {};
        }
        GdiFlush();
        AppendPixels(bits, size * size, &image);
    }
    return image;
}

} // namespace driver
