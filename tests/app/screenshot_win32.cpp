// Windows only: screenshots with BitBlt from the screen into a 24-bit bitmap file.
#include "screenshot.h"

#include <windows.h>

#include <vector>

#include "shell_test_support.h"

namespace shelltest {

std::string SaveScreenshot(int x, int y, int width, int height, const std::string& name) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int rowBytes = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<size_t>(rowBytes) * height);
    const int rows = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height) {
        return "";
    }
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info);
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string file(reinterpret_cast<const char*>(&header), sizeof(header));
    file.append(reinterpret_cast<const char*>(&info), sizeof(info));
    file.append(pixels.data(), pixels.size());
    CreateDirectoryA(ArtifactFolder().c_str(), nullptr);
    const std::string path = ArtifactFolder() + "windows-" + name + ".bmp";
    testsupport::WriteFile(path, file);
    return path;
}

}  // namespace shelltest
