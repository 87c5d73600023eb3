#include "export/html_test_page.h"

#include <cstdint>
#include <cstdio>

#include "base/file_output.h"
#include "base/file_input.h"
#include "base/paths.h"
#include "text/text_utils.h"

namespace kestal {
namespace {

// Decodes one UTF-8 sequence at `i` and advances past it. Malformed, overlong and
// surrogate sequences give U+FFFD and advance by one byte.
uint32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t b0 = byte(i);
  int extra = -1;
  if (b0 >= 0xC2 && b0 <= 0xDF) extra = 1;
  else if (b0 >= 0xE0 && b0 <= 0xEF) extra = 2;
  else if (b0 >= 0xF0 && b0 <= 0xF4) extra = 3;
  if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  uint32_t cp = b0 & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const uint8_t b = byte(i + static_cast<size_t>(k));
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<size_t>(extra) + 1;
  return cp;
}

std::string Format(const char* format, int a, int b) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, a, b);
  return buf;
}

// "PATH (W x H pixels / SIZE)" with the path escaped as text.
std::string Caption(const std::string& path, int width, int height) {
  return HtmlEscape(path) + Format(" (%d x %d pixels / ", width, height) +
         HtmlEscape(FileSizeText(GetFileSizeBytes(path))) + ")";
}

}  // namespace

std::string HtmlEscape(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const char c = utf8[i];
    if (static_cast<uint8_t>(c) < 0x80) {
      ++i;
      switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
      }
      continue;
    }
    out += "&#" + std::to_string(NextCodePoint(utf8, i)) + ";";
  }
  return out;
}

std::string HtmlImageTag(std::string_view path, int width, int height) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url;
  for (const char ch : path) {
    const auto c = static_cast<uint8_t>(ch);
    if (ch == '\\') {
      url += '/';
    } else if (ch == '&') {
      url += "&amp;";
    } else if (c < 0x20 || c >= 0x7F || ch == '%' || ch == '#' || ch == '?' || ch == '"' || ch == '<' ||
               ch == '>') {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    } else {
      url += ch;
    }
  }
  return "<img src=\"file://" + url + Format("\" width=\"%d\" height=\"%d\">", width, height);
}

std::string HtmlTestPageText(const std::string& gifPath, int width, int height, bool photoAndReflection,
                             const HtmlPhoto& photo) {
  std::string page;
  const auto line = [&page](const std::string& text) { page += text + "\r\n"; };
  line("<html>");
  line("<head>");
  line("<title>Test de " + HtmlEscape(FileNameOf(gifPath)) + "</title>");
  line("</head>");
  line("<body>");
  line("<table border=\"0\">");
  line("<tr><td align=\"center\">");
  if (photoAndReflection) {
    line(HtmlImageTag(gifPath, width, height));
    line("</td></tr>");
    line("<tr><td align=\"center\">");
    line(Caption(gifPath, width, height));
  } else {
    if (photo.rowsAboveWater >= 0 && photo.rowsAboveWater < photo.height) {
      // A block as high as the rows kept above the water, hiding the rest of the photo.
      line("<div style=\"height:" + std::to_string(photo.rowsAboveWater) + "px;overflow:hidden\">" +
           HtmlImageTag(photo.path, photo.width, photo.height) + "</div>");
    } else {
      line(HtmlImageTag(photo.path, photo.width, photo.height) + "<br>");
    }
    line(HtmlImageTag(gifPath, width, height));
    line("</td></tr>");
    line("<tr><td align=\"center\">");
    line(Caption(photo.path, photo.width, photo.height) + "<br>" + Caption(gifPath, width, height));
  }
  line("</td></tr>");
  line("</table>");
  line("</body>");
  line("</html>");
  return page;
}

Result<std::string> WriteHtmlTestPage(const std::string& gifPath, int width, int height, bool photoAndReflection,
                                      const HtmlPhoto& photo) {
  const std::string pagePath = ChangeExtension(gifPath, ".htm");
  const std::string text = HtmlTestPageText(gifPath, width, height, photoAndReflection, photo);
  OutputFile out;
  Status s = out.Open(pagePath);
  if (s) s = out.Write(text.data(), text.size());
  if (s) s = out.Commit();
  if (!s) return s.error().WithMessage("Unable to write the test page \"" + pagePath + "\"");
  return pagePath;
}

}  // namespace kestal
