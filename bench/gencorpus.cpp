// Makes the benchmark's photo-like JPEGs: smooth gradients, soft shapes and sensor-like
// noise, from a fixed seed, so that every run times the same files.
// Usage: gencorpus DIR COUNT WIDTH HEIGHT SEED [MAX_WIDTH PROGRESSIVE_EVERY]
// With MAX_WIDTH each picture's longer side is drawn from WIDTH..MAX_WIDTH, at 4:3, every
// third one upright; every PROGRESSIVE_EVERY-th file is progressive, as cameras' web
// exports often are.
#include <FreeImage.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>

// A small fixed generator, the same on every machine.
static unsigned long long state;
static unsigned NextRandom()
{
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (unsigned)(state >> 33);
}
static double Uniform() { return NextRandom() / 2147483648.0; }

struct Shape { double x, y, radius, r, g, b, softness; };

int main(int argc, char **argv)
{
    if (argc != 6 && argc != 8) {
        fprintf(stderr, "usage: gencorpus DIR COUNT WIDTH HEIGHT SEED [MAX_WIDTH PROGRESSIVE_EVERY]\n");
        return 2;
    }
    std::string dir = argv[1];
    int count = atoi(argv[2]), fixedWidth = atoi(argv[3]), fixedHeight = atoi(argv[4]);
    state = strtoull(argv[5], NULL, 10);
    int maxWidth = argc == 8 ? atoi(argv[6]) : 0;
    int progressiveEvery = argc == 8 ? atoi(argv[7]) : 0;
    for (int n = 0; n < count; n++) {
        int width = fixedWidth, height = fixedHeight;
        if (maxWidth > 0) {
            int side = fixedWidth + (int)(NextRandom() % (unsigned)(maxWidth - fixedWidth + 1));
            width = side;
            height = side * 3 / 4;
            if (n % 3 == 2) {
                width = height;
                height = side;
            }
        }
        int flags = 90;
        if (progressiveEvery > 0 && n % progressiveEvery == progressiveEvery - 1)
            flags |= JPEG_PROGRESSIVE;
        FIBITMAP *picture = FreeImage_Allocate(width, height, 24);
        double top[3] = {Uniform() * 255, Uniform() * 255, Uniform() * 255};
        double bottom[3] = {Uniform() * 255, Uniform() * 255, Uniform() * 255};
        Shape shapes[12];
        for (Shape &s : shapes)
            s = {Uniform() * width, Uniform() * height, (0.05 + Uniform() * 0.25) * height,
                 Uniform() * 255, Uniform() * 255, Uniform() * 255, 2 + Uniform() * 30};
        for (int y = 0; y < height; y++) {
            BYTE *line = FreeImage_GetScanLine(picture, y);
            double t = (double)y / height;
            for (int x = 0; x < width; x++) {
                double c[3];
                for (int k = 0; k < 3; k++)
                    c[k] = top[k] * (1 - t) + bottom[k] * t + 20 * sin(x * 0.01 + k);
                for (const Shape &s : shapes) {
                    double d = hypot(x - s.x, y - s.y) - s.radius;
                    double a = d < -s.softness ? 1 : d > s.softness ? 0 : 0.5 - d / (2 * s.softness);
                    if (a > 0) {
                        c[0] = c[0] * (1 - a) + s.b * a;
                        c[1] = c[1] * (1 - a) + s.g * a;
                        c[2] = c[2] * (1 - a) + s.r * a;
                    }
                }
                for (int k = 0; k < 3; k++) {
                    double v = c[k] + ((int)(NextRandom() % 17) - 8);
                    line[3 * x + k] = (BYTE)(v < 0 ? 0 : v > 255 ? 255 : v);
                }
            }
        }
        char name[64];
        snprintf(name, sizeof name, "/img%03d.jpg", n);
        if (!FreeImage_Save(FIF_JPEG, picture, (dir + name).c_str(), flags)) {
            fprintf(stderr, "cannot write %s%s\n", dir.c_str(), name);
            return 1;
        }
        FreeImage_Unload(picture);
    }
    return 0;
}
