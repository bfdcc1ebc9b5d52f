// Makes the mixed folder that both builds are run over: JPEGs of every kind a camera or
// an editor writes (baseline, progressive, CMYK, grey, turned by Exif, cut short), PNGs
// in RGB, RGBA and with a palette, BMP, GIF and TIFF, a Cyrillic name with blanks and
// brackets, and a file that is no image. A native Linux program: FreeImage, and libjpeg
// for the CMYK JPEG that FreeImage cannot write.
// Usage: makecorpus DIR
#include <FreeImage.h>
#include <jpeglib.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

// A photo-like picture: smooth colour ramps with a few hard edges, so that scaling and
// chroma subsampling both leave their marks.
static FIBITMAP *Picture(int width, int height, bool alpha)
{
    FIBITMAP *image = FreeImage_Allocate(width, height, alpha ? 32 : 24);
    int step = alpha ? 4 : 3;
    for (int y = 0; y < height; y++) {
        BYTE *line = FreeImage_GetScanLine(image, y);
        for (int x = 0; x < width; x++) {
            double wave = std::sin(x * 0.05) * std::cos(y * 0.07);
            bool block = ((x / 37) + (y / 29)) % 5 == 0;
            line[x * step + FI_RGBA_RED] = (BYTE)(block ? 250 : 255 * x / width);
            line[x * step + FI_RGBA_GREEN] = (BYTE)(127 + 120 * wave);
            line[x * step + FI_RGBA_BLUE] = (BYTE)(block ? 20 : 255 * y / height);
            if (alpha)
                line[x * step + FI_RGBA_ALPHA] = (BYTE)(255 * (x + y) / (width + height));
        }
    }
    return image;
}

static bool Save(FREE_IMAGE_FORMAT format, FIBITMAP *image, const std::string &path, int flags = 0)
{
    bool saved = FreeImage_Save(format, image, path.c_str(), flags);
    FreeImage_Unload(image);
    return saved;
}

// A CMYK JPEG with the Adobe marker, as print workflows write them.
static bool SaveCmykJpeg(const std::string &path, int width, int height)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(width * 4);
    while (info.next_scanline < info.image_height) {
        int y = info.next_scanline;
        for (int x = 0; x < width; x++) {
            row[x * 4 + 0] = (JSAMPLE)(255 * x / width);
            row[x * 4 + 1] = (JSAMPLE)(255 * y / height);
            row[x * 4 + 2] = (JSAMPLE)(((x / 20 + y / 20) % 2) * 200);
            row[x * 4 + 3] = (JSAMPLE)(40);
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

// The bytes of a file (a picture this program wrote, well under a megabyte).
static std::vector<unsigned char> ReadAll(const std::string &path)
{
    FILE *in = std::fopen(path.c_str(), "rb");
    std::vector<unsigned char> bytes(1 << 20);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
    std::fclose(in);
    return bytes;
}

// A JPEG whose Exif orientation (6) says the camera was turned: the picture is to be
// shown turned a quarter clockwise. The Exif segment goes after the JFIF one.
static bool SaveTurnedJpeg(const std::string &path)
{
    if (!Save(FIF_JPEG, Picture(600, 400, false), path, 90))
        return false;
    std::vector<unsigned char> bytes = ReadAll(path);
    static const unsigned char exif[] = {
        0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0,           // APP1, 34 bytes
        'I', 'I', 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00,                // TIFF header, IFD at 8
        0x01, 0x00,                                                  // one entry:
        0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,  // Orientation 6
        0x00, 0x00, 0x00, 0x00};                                     // no next IFD
    size_t jfifEnd = 4 + (bytes[4] << 8 | bytes[5]);
    FILE *out = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, jfifEnd, out);
    std::fwrite(exif, 1, sizeof exif, out);
    std::fwrite(bytes.data() + jfifEnd, 1, bytes.size() - jfifEnd, out);
    return std::fclose(out) == 0;
}

// The first part of a good JPEG, as an interrupted copy leaves it.
static bool SaveCutJpeg(const std::string &dir, const std::string &name)
{
    std::string whole = dir + "/" + name + ".part";
    if (!Save(FIF_JPEG, Picture(500, 375, false), whole, 90))
        return false;
    std::vector<unsigned char> bytes = ReadAll(whole);
    std::remove(whole.c_str());
    FILE *out = std::fopen((dir + "/" + name).c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size() * 2 / 5, out);
    return std::fclose(out) == 0;
}

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    std::string dir = argv[1];
    FreeImage_Initialise(FALSE);
    FIBITMAP *grey = Picture(480, 640, false);
    FIBITMAP *grey8 = FreeImage_ConvertToGreyscale(grey);
    FreeImage_Unload(grey);
    FIBITMAP *rgb = Picture(300, 200, false);
    FIBITMAP *palette = FreeImage_ColorQuantize(rgb, FIQ_WUQUANT);
    FIBITMAP *rgb2 = Picture(320, 240, false);
    FIBITMAP *gif = FreeImage_ColorQuantize(rgb2, FIQ_WUQUANT);
    FreeImage_Unload(rgb);
    FreeImage_Unload(rgb2);
    bool made = Save(FIF_JPEG, Picture(640, 480, false), dir + "/IMG 0001.JPG", 90) &&
                Save(FIF_JPEG, Picture(800, 600, false), dir + "/progressive.jpg", 85 | JPEG_PROGRESSIVE) &&
                Save(FIF_JPEG, grey8, dir + "/grey.jpg", 90) &&
                SaveCmykJpeg(dir + "/cmyk.jpg", 400, 300) &&
                Save(FIF_JPEG, Picture(1024, 768, false), dir + "/Фото отпуска (1).jpg", 95) &&
                SaveCutJpeg(dir, "cut-short.jpg") &&
                SaveTurnedJpeg(dir + "/turned.jpg") &&
                Save(FIF_PNG, Picture(333, 222, false), dir + "/rgb.png") &&
                Save(FIF_PNG, Picture(256, 256, true), dir + "/rgba.png") &&
                Save(FIF_PNG, palette, dir + "/palette.png") &&
                Save(FIF_BMP, Picture(250, 180, false), dir + "/PICTURE.BMP") &&
                Save(FIF_GIF, gif, dir + "/anim.gif") &&
                Save(FIF_TIFF, Picture(400, 400, false), dir + "/scan.tif", TIFF_LZW);
    FILE *text = std::fopen((dir + "/read me.txt").c_str(), "wb");
    made = made && text != nullptr && std::fputs("not an image\n", text) >= 0 && std::fclose(text) == 0;
    FreeImage_DeInitialise();
    return made ? 0 : 1;
}
