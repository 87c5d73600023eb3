// The built-in image families: description, extensions (sorted) and reader. A family
// without a reader is listed in the open dialog, and opening one of its files says that
// reading it is not available.

#include "export/codecs/autodesk_reader.h"
#include "export/codecs/drhalo_reader.h"
#include "export/codecs/jpeg_codec.h"
#include "export/codecs/pcd_reader.h"
#include "export/codecs/png_codec.h"
#include "export/codecs/psp_reader.h"
#include "export/codecs/rla_reader.h"
#include "export/image_registry.h"

namespace kestal {

std::vector<ImageFamily> BuiltInImageFamilies() {
  return {
      {"Alias/Wavefront", {"rla", "rpf"}, ReadRla, nullptr},
      {"Autodesk", {"cel", "pic"}, ReadAutodesk, SniffAutodesk},
      {"BMP", {"bmp", "dib", "rle"}, nullptr, nullptr},
      {"Dr. Halo", {"cut"}, ReadDrHalo, nullptr, ReadDrHaloFile},
      {"EPS", {"eps"}, nullptr, nullptr},
      {"GIF", {"gif"}, nullptr, nullptr},
      {"Icône", {"ico"}, nullptr, nullptr},
      {"JPEG", {"jfif", "jpe", "jpeg", "jpg"}, ReadJpeg, SniffJpeg},
      {"Metafile", {"emf", "wmf"}, nullptr, nullptr},
      {"Paintbrush", {"pcc", "pcx", "scr"}, nullptr, nullptr},
      {"Paintshop Pro", {"psp", "tub"}, ReadPsp, SniffPsp},
      {"Photo-CD", {"pcd"}, ReadPcd, SniffPcd},
      {"Photoshop", {"pdd", "psd"}, nullptr, nullptr},
      {"PNG", {"png"}, ReadPng, SniffPng},
      {"Portable map", {"pbm", "pgm", "ppm"}, nullptr, nullptr},
      {"SGI", {"bw", "rgb", "rgba", "sgi"}, nullptr, nullptr},
      {"Targa", {"icb", "tga", "vda", "vst", "win"}, nullptr, nullptr},
      {"TIFF", {"fax", "tif", "tiff"}, nullptr, nullptr},
  };
}

}  // namespace kestal
