#include "png/testing/libpng_writer.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <random>
#include <stdexcept>

namespace snapkit::testing {

namespace {

int Channels(int ColorType) {
  switch (ColorType) {
    case 2:
      return 3;
    case 4:
      return 2;
    case 6:
      return 4;
    default:
      return 1;
  }
}

void Append(png_structp Png, png_bytep Data, png_size_t Length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(Png));
  out->insert(out->end(), Data, Data + Length);
}

struct TSource {
  const std::vector<std::uint8_t>* File;
  std::size_t Position;
};

void ReadFromMemory(png_structp Png, png_bytep Data, png_size_t Length) {
  auto* source = static_cast<TSource*>(png_get_io_ptr(Png));
  if (source->File->size() - source->Position < Length) png_error(Png, "file ends early");
  std::copy_n(source->File->data() + source->Position, Length, Data);
  source->Position += Length;
}

}  // namespace

std::size_t PngRowBytes(std::uint32_t Width, int ColorType, int BitDepth) {
  return (std::size_t(Width) * Channels(ColorType) * BitDepth + 7) / 8;
}

TLibpngImage RandomImage(std::uint32_t Width, std::uint32_t Height, int ColorType, int BitDepth,
                         unsigned Seed) {
  std::mt19937 rng(Seed);
  TLibpngImage image;
  image.Width = Width;
  image.Height = Height;
  image.ColorType = ColorType;
  image.BitDepth = BitDepth;
  unsigned entries = 0;
  if (ColorType == 3) {
    entries = BitDepth == 8 ? 200 : 1u << BitDepth;
    for (unsigned i = 0; i < entries; ++i)
      image.Palette.push_back({std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())});
  }
  const std::size_t rowBytes = PngRowBytes(Width, ColorType, BitDepth);
  const std::size_t pixelBits = std::size_t(Channels(ColorType)) * BitDepth;
  for (std::uint32_t y = 0; y < Height; ++y) {
    std::vector<std::uint8_t> row(rowBytes);
    // Runs of repeated bytes now and then, so rows are not all noise.
    for (std::size_t i = 0; i < rowBytes; ++i)
      row[i] = (i > 0 && rng() % 4 == 0) ? row[i - 1] : std::uint8_t(rng());
    if (ColorType == 3) {
      for (std::uint32_t x = 0; x < Width; ++x) {
        const std::size_t bit = x * pixelBits;
        const unsigned shift = 8 - BitDepth - bit % 8;
        const unsigned mask = ((1u << BitDepth) - 1) << shift;
        const unsigned v = (((row[bit / 8] & mask) >> shift) % entries) << shift;
        row[bit / 8] = std::uint8_t((row[bit / 8] & ~mask) | v);
      }
    }
    // Bits after the last pixel are zero, as writers leave them.
    const std::size_t used = Width * pixelBits;
    if (used % 8) row.back() &= std::uint8_t(0xFF << (8 - used % 8));
    image.Rows.push_back(std::move(row));
  }
  return image;
}

std::vector<std::uint8_t> WriteWithLibpng(const TLibpngImage& Image) {
  std::vector<std::uint8_t> out;
  std::vector<png_color> palette;
  for (const auto& c : Image.Palette) palette.push_back({c[0], c[1], c[2]});
  std::vector<png_bytep> rows;
  for (const auto& r : Image.Rows) rows.push_back(const_cast<png_bytep>(r.data()));

  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  // libpng reports errors by longjmp; nothing with a destructor lives below.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng could not write the test image");
  }
  {
    png_set_write_fn(png, &out, Append, nullptr);
    png_set_IHDR(png, info, Image.Width, Image.Height, Image.BitDepth, Image.ColorType,
                 Image.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (Image.Gamma) png_set_gAMA_fixed(png, info, png_fixed_point(Image.Gamma));
    static const int kFilters[5] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG,
                                    PNG_FILTER_PAETH};
    png_set_filter(png, PNG_FILTER_TYPE_BASE,
                   Image.Filter >= 0 ? kFilters[Image.Filter] : PNG_ALL_FILTERS);
    png_write_info(png, info);
    if (Image.Interlaced) png_set_interlace_handling(png);
    png_write_image(png, rows.data());
    png_write_end(png, info);
  }
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace snapkit::testing

namespace snapkit::testing {

TLibpngImage ReadWithLibpng(const std::vector<std::uint8_t>& File) {
  TLibpngImage image;
  TSource source{&File, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error("libpng could not read the test image");
  }
  png_set_read_fn(png, &source, ReadFromMemory);
  png_read_info(png, info);
  int interlace = 0;
  png_get_IHDR(png, info, &image.Width, &image.Height, &image.BitDepth, &image.ColorType,
               &interlace, nullptr, nullptr);
  image.Interlaced = interlace == PNG_INTERLACE_ADAM7;
  png_colorp palette;
  int entries = 0;
  if (png_get_PLTE(png, info, &palette, &entries) == PNG_INFO_PLTE)
    for (int i = 0; i < entries; ++i)
      image.Palette.push_back({palette[i].red, palette[i].green, palette[i].blue});
  png_fixed_point gamma = 0;
  if (png_get_gAMA_fixed(png, info, &gamma)) image.Gamma = std::uint32_t(gamma);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  image.Rows.assign(image.Height, std::vector<std::uint8_t>(png_get_rowbytes(png, info)));
  for (auto& row : image.Rows) rows.push_back(row.data());
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return image;
}

}  // namespace snapkit::testing
