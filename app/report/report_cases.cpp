#include "report_cases.h"

namespace qv {

namespace {

constexpr char kHeader[] = "qvdev1\nhost=PC\nos=10.0.19045\narch=amd64\nserver=0\n";

}  // namespace

std::vector<RefusedReport> refused_reports() {
  const std::string header = kHeader;
  const std::string device = header + "[device]\ninstance_id=A\ndescription=d\n";  // lines 6-8
  const std::string driver = device + "driver_ver=1.0.0.0\ndriver_desc=\n";
  const std::string first = "The first line is not \"qvdev1\".";
  const std::string control = "The line holds a control character, which a report never does.";
  const std::string no_line = "The line is neither \"[device]\" nor a key=value line.";
  const std::string no_key = "The line's key is not one of the report's keys.";
  const std::string cut = "The report is cut short: its last line does not end in a line feed.";
  const std::string utf8 = "The line is not valid UTF-8.";
  const std::string key40(40, 'k');
  const auto after = [](std::string before, std::string needed) {
    const std::string article = needed == "os" || needed == "instance_id" ? "an" : "a";
    return "The \"" + before + "\" line is not followed by " + article + " \"" + needed +
           "\" line.";
  };
  return {
      {"", 1, first},
      {" qvdev1\n", 1, first},
      {"\n\xef\xbb\xbfqvdev1\n", 1, first},
      {std::string("\xef\xbb\xbe") + "qvdev1\nhost=PC\n", 1, first},  // U+FEFE, no byte-order mark
      {"\xff\xfe", 1, first},
      {"qvdev1", 1, cut},
      {"qvdev1\r", 1, cut},
      {"qvdev1\n", 1, after("qvdev1", "host")},
      {"qvdev1\nhost=PC", 2, cut},
      {device.substr(0, device.size() - 1), 8, cut},
      {device + "cid=PCI\\CC_0", 9, cut},
      {device + "[device]", 9, cut},
      {device + "[device]\r", 9, cut},
      {"qvdev1\nhostname=PC\n", 1, after("qvdev1", "host")},
      {"qvdev1\nhost=PC\narch=amd64\n", 2, after("host", "os")},
      {"qvdev1\nhost=PC\nos=1\narch=a\n", 4, after("arch", "server")},
      {"qvdev1\nhost=PC\nos=1\narch=a\nserver=\n", 5,
       "The \"server\" value is neither \"0\" nor \"1\"."},
      {"qvdev1\nhost=P\tC\n", 2, control},
      {header + "host=PC\n", 6, "A value line comes before the first \"[device]\"."},
      {device + "\n", 9, "The line is empty."},
      {device + "hwid\n", 9, no_line},
      {device + "[Device]\n", 9, no_line},
      {device + "hwids=X\n", 9, "The key \"hwids\" is not one of the report's keys."},
      {device + "HWID=X\n", 9, "The key \"HWID\" is not one of the report's keys."},
      {device + "hw id=X\n", 9, no_key},
      {device + "=X\n", 9, no_key},
      {device + key40 + "=X\n", 9, "The key \"" + key40 + "\" is not one of the report's keys."},
      {device + key40 + "k=X\n", 9, no_key},
      {device + "description=\xff\xfe\n", 9, utf8},
      {device + "hwid=\xc0\x8a\n", 9, utf8},  // an overlong line feed
      {device + "hwid=a\xc3\n", 9, utf8},
      {device + "hwid=\xed\xa0\x80\n", 9, utf8},      // a surrogate
      {device + "hwid=\xf4\x90\x80\x80\n", 9, utf8},  // past U+10FFFF
      {"qvdev1\nhost=\x80\n", 2, utf8},
      {device + "hwid=a\r\r\n", 9, control},  // only the last CR belongs to the line end
      {device + "cid=a\rb\n", 9, control},
      {header + "[device]\n", 6, after("[device]", "instance_id")},
      {header + "[device]\ndescription=d\n", 6, after("[device]", "instance_id")},
      {header + "[device]\ninstance_id=A\n[device]\n", 7, after("instance_id", "description")},
      {header + "[device]\ninstance_id=A\nhwid=H\n", 7, after("instance_id", "description")},
      {device + "driver_ver=1.0.0.0\n", 9, after("driver_ver", "driver_desc")},
      {device + "driver_ver=1.0.0.0\ndriver_inf=x\n", 9, after("driver_ver", "driver_desc")},
      {device + "driver_desc=x\n", 9,
       "The \"driver_desc\" line comes without a \"driver_ver\" line before it."},
      {device + "driver_inf=x\n", 9,
       "The \"driver_inf\" line comes without a \"driver_ver\" line before it."},
      {device + "class_guid=x\nclass_guid=y\n", 10,
       "The \"class_guid\" line appears twice in the section."},
      {driver + "driver_ext=x\ndriver_ext=x\n", 12,
       "The \"driver_ext\" line appears twice in the section."},
      {device + "cid=x\nhwid=y\n", 10,
       "The \"hwid\" line comes after the \"cid\" line, out of the report's order."},
      {driver + "driver_matching_id=x\ndriver_provider=y\n", 12,
       "The \"driver_provider\" line comes after the \"driver_matching_id\" line, out of the "
       "report's order."},
      {device + "driver_ver=2006-6-21 1.0.0.0\n", 9,
       "The \"driver_ver\" value is not a valid driver date and version."},
      {header + "[device]\ninstance_id=A\ndescription=a\xc2\x85z\n", 8, control},  // U+0085
      {device + "driver_ver=0.0.0.0\ndriver_desc=\n", 9,
       "The \"driver_ver\" value is not a valid driver date and version."},
      {device + "driver_ver=0099-01-01 1.0.0.0\ndriver_desc=\n", 9,
       "The \"driver_ver\" value is not a valid driver date and version."},
      {device + "driver_ver=2023-03-14 1.0.0.01\ndriver_desc=\n", 9,
       "The \"driver_ver\" value is not a valid driver date and version."},
      {device + "driver_ver=2023-03-14 1.0.65536.0\ndriver_desc=\n", 9,
       "The \"driver_ver\" value is not a valid driver date and version."},
      {device + "driver_ver=02023-03-14 1.0.0.0\ndriver_desc=\n", 9,
       "The \"driver_ver\" value is not a valid driver date and version."},
      {device + "driver_ver=2023-13-14 1.0.0.0\ndriver_desc=\n", 9,
       "The \"driver_ver\" value is not a valid driver date and version."},
  };
}

std::vector<std::string> accepted_reports() {
  const std::string header = kHeader;
  const std::string every_key =
      header +
      "[device]\ninstance_id=A\ndescription=\nclass_guid={x}\nhwid=H1\nhwid=H2\ncid=C\n"
      "driver_ver=2023-03-14 2.1.3.15\ndriver_desc=d\ndriver_provider=p\ndriver_inf=i.inf\n"
      "driver_ext=.NT\ndriver_matching_id=H1\n";
  const std::string odd_values =
      header +
      "[device]\ninstance_id=A\ndescription=[device]\nhwid=a=b\n"
      "driver_ver=65535-12-31 65535.0.0.0\ndriver_desc=\n"
      "[device]\ninstance_id=A\ndescription=\xef\xbb\xbf\xe2\x80\xa8\xc2\xa0\xf4\x8f\xbf\xbf\n"
      "driver_ver=0100-01-01 0.0.0.0\ndriver_desc=\n"
      "[device]\ninstance_id=B\ndescription=d\ndriver_ver=6.1.7600.16385\ndriver_desc=\n";
  std::vector<std::string> texts = {header, every_key, odd_values};
  // What editors do to a text file: a byte-order mark, CR LF line ends, or both.
  for (const std::string& text : std::vector<std::string>(texts)) {
    std::string crlf;
    for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    texts.push_back("\xef\xbb\xbf" + text);
    texts.push_back(crlf);
    texts.push_back("\xef\xbb\xbf" + crlf);
  }
  return texts;
}

}  // namespace qv
