#include "page.h"

#include "export_file.h"
#include "json_text.h"
#include "output_check.h"
#include "page_files.h"
#include "page_pack.h"
#include "report_format.h"
#include "sha256.h"

namespace qv {
namespace {

// The CSP source that lets exactly this text run or apply.
std::string hash_source(std::string_view text) { return "'sha256-" + base64(sha256(text)) + "'"; }

std::string shown(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return one_line_text({reinterpret_cast<const char*>(name.data()), name.size()});
}

// How every page begins, and so how a file is known to be one: the page replaces
// no other file.
constexpr std::string_view kPageStart =
    "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src ";

}  // namespace

std::string page_html(std::string_view title, std::string_view packed_data) {
  const std::string_view script = page_script();
  const std::string_view style = page_style();
  std::string page;
  page.reserve(packed_data.size() + script.size() + style.size() + 1024);
  page += kPageStart;
  page += hash_source(script) + "; style-src " + hash_source(style) +
          "; img-src 'none'; base-uri 'none'; form-action 'none'\">\n";
  page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  page += "<title>" + html_text(title) + "</title>\n";
  page += "<style>";
  page += style;
  page += "</style>\n</head><body>\n";
  page +=
      "<noscript>This page draws itself with its own script: open it with scripts "
      "allowed.</noscript>\n";
  // The data is no script: its type makes the browser leave it alone.
  page += "<script type=\"text/plain\" id=\"fleet-data\">";
  page += packed_data;
  page += "</script>\n<script>";
  page += script;
  page += "</script>\n</body></html>\n";
  return page;
}

std::expected<PageSummary, std::string> write_page(Database& db, const std::filesystem::path& file,
                                                   const PageOptions& options) {
  const auto cannot_write = [&](const std::string& reason) {
    return Failed("Couldn't write " + shown(file) + ": " + reason);
  };
  if (auto allowed = check_output(file, index_file(db), kPageStart); !allowed) {
    return cannot_write(allowed.error());
  }
  // Made before the index is read, so that a folder that isn't there is told at once.
  auto out = ExportFile::create(file);
  if (!out) return cannot_write(out.error());
  if (auto begun = db.execute("BEGIN"); !begun) return Failed(begun.error());
  auto data = read_page_data(db, options);
  (void)db.execute("COMMIT");
  if (!data) return Failed("The index can't be read: " + data.error());
  const std::string page = page_html(options.title, data->packed);
  if (auto written = out->write(page); !written) return cannot_write(written.error());
  if (auto finished = out->finish(); !finished) return cannot_write(finished.error());
  return PageSummary{data->hosts, data->snapshots, data->drivers,
                     static_cast<std::int64_t>(page.size())};
}

}  // namespace qv
