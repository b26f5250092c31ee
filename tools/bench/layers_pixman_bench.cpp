// The pixman side of the layer composition benchmark (not a test; native): the ten layers of
// LayersBench.h composed with OVER through a 50 % solid mask into a 1920 x 1080 picture (the first
// layer copied), best of 3. Prints the time in milliseconds alone on stdout, for bench_layers.
#include <pixman.h>

#include <cstdio>
#include <vector>

#include "BenchPhoto.h"
#include "LayersBench.h"

int main() {
    using namespace layersbench;
    std::vector<pixman_image_t*> layers;
    for (int i = 0; i < kLayers; ++i) {
        pixman_image_t* img = pixman_image_create_bits(PIXMAN_r8g8b8, kWidth, kHeight, nullptr, 0);
        if (!img) {
            std::fprintf(stderr, "bench_layers_pixman: cannot create the images\n");
            return 1;
        }
        const int stride = pixman_image_get_stride(img);
        for (int y = 0; y < kHeight; ++y)
            FillRow(reinterpret_cast<uint8_t*>(pixman_image_get_data(img)) + (size_t)y * stride, y, i);
        layers.push_back(img);
    }
    pixman_image_t* dest = pixman_image_create_bits(PIXMAN_r8g8b8, kWidth, kHeight, nullptr, 0);
    const pixman_color_t half = {0, 0, 0, 0x8080};
    pixman_image_t* mask = pixman_image_create_solid_fill(&half);
    const double ms = benchphoto::BestMs([&] {
        pixman_image_composite32(PIXMAN_OP_SRC, layers[0], nullptr, dest, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
        for (int i = 1; i < kLayers; ++i)
            pixman_image_composite32(PIXMAN_OP_OVER, layers[size_t(i)], mask, dest, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    });
    pixman_image_unref(mask);
    pixman_image_unref(dest);
    for (pixman_image_t* img : layers) pixman_image_unref(img);
    std::printf("%.3f\n", ms);
    return 0;
}
