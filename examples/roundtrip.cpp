// Compresses a PGM or PPM file in memory, restores it and checks that every
// byte came back: the library API in a few lines.
#include <vrk/vrk.hpp>

#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: vrk_roundtrip image.pgm|image.ppm\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> original{std::istreambuf_iterator<char>(in), {}};
    const std::string name = argv[1];
    const auto format = name.ends_with(".ppm") ? vrk::ImageFormat::ppm : vrk::ImageFormat::pgm;
    try {
        const std::vector<std::uint8_t> compressed = vrk::compress_image(original, format, {.fast = true});
        const vrk::RestoredImage restored = vrk::restore_image(compressed);
        std::cout << original.size() << " bytes -> " << compressed.size() << " bytes, restored "
                  << (restored.file == original ? "exactly" : "WRONGLY") << "\n";
        return restored.file == original ? 0 : 1;
    } catch (const vrk::Error& error) {
        std::cerr << "vrk: " << error.what() << " (code " << static_cast<int>(error.code()) << ")\n";
        return 1;
    }
}
