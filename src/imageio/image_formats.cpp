// The built-in image families: description, extensions (sorted) and reader. A family
// without a reader is listed in the open dialog, and opening one of its files says that
// reading it is not available. Cursors (.cur) share the icon layout, .pnm names any
// portable map and .psb Photoshop's large document format; these are read without
// being listed.

#include "imageio/codecs/autodesk_reader.h"
#include "imageio/codecs/bmp_reader.h"
#include "imageio/codecs/drhalo_reader.h"
#include "imageio/codecs/eps_reader.h"
#include "imageio/codecs/gif_reader.h"
#include "imageio/codecs/ico_reader.h"
#include "imageio/codecs/jpeg_codec.h"
#include "imageio/codecs/metafile/reader.h"
#include "imageio/codecs/pcd_reader.h"
#include "imageio/codecs/pcx_reader.h"
#include "imageio/codecs/png_codec.h"
#include "imageio/codecs/pnm_reader.h"
#include "imageio/codecs/psd_reader.h"
#include "imageio/codecs/psp_reader.h"
#include "imageio/codecs/rla_reader.h"
#include "imageio/codecs/sgi_reader.h"
#include "imageio/codecs/tga_codec.h"
#include "imageio/codecs/tiff_reader.h"
#include "imageio/image_registry.h"

namespace kestal {

std::vector<ImageFamily> BuiltInImageFamilies() {
  return {
      {"Alias/Wavefront", {"rla", "rpf"}, ReadRla, nullptr, nullptr, RlaHeaderSize},
      {"Autodesk", {"cel", "pic"}, ReadAutodesk, SniffAutodesk},
      {"BMP", {"bmp", "dib", "rle"}, ReadBmp, SniffBmp, nullptr, BmpHeaderSize},
      {"Dr. Halo", {"cut"}, ReadDrHalo, nullptr, ReadDrHaloFile},
      {"EPS", {"eps"}, ReadEps, SniffEps},
      {"GIF", {"gif"}, ReadGif, SniffGif, nullptr, GifHeaderSize},
      {"Icône", {"ico"}, ReadIco, SniffIco, nullptr, IcoHeaderSize, {"cur"}},
      {"JPEG", {"jfif", "jpe", "jpeg", "jpg"}, ReadJpeg, SniffJpeg, nullptr, JpegHeaderSize},
      {"Metafile", {"emf", "wmf"}, ReadMetafile, SniffMetafile, nullptr, MetafileHeaderSize},
      {"Paintbrush", {"pcc", "pcx", "scr"}, ReadPcx, nullptr, nullptr, PcxHeaderSize},
      {"Paintshop Pro", {"psp", "tub"}, ReadPsp, SniffPsp},
      {"Photo-CD", {"pcd"}, ReadPcd, SniffPcd},
      {"Photoshop", {"pdd", "psd"}, ReadPsd, SniffPsd, nullptr, PsdHeaderSize, {"psb"}},
      {"PNG", {"png"}, ReadPng, SniffPng, nullptr, PngHeaderSize},
      {"Portable map", {"pbm", "pgm", "ppm"}, ReadPnm, SniffPnm, nullptr, PnmHeaderSize, {"pnm"}},
      {"SGI", {"bw", "rgb", "rgba", "sgi"}, ReadSgi, SniffSgi, nullptr, SgiHeaderSize},
      {"Targa", {"icb", "tga", "vda", "vst", "win"}, ReadTga, SniffTga, nullptr, TgaHeaderSize},
      {"TIFF", {"fax", "tif", "tiff"}, ReadTiff, SniffTiff, nullptr, TiffHeaderSize},
  };
}

}  // namespace kestal
