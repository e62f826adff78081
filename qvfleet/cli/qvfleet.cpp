#include "qvfleet.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include "changes.h"
#include "dates.h"
#include "export.h"
#include "index_command.h"
#include "page.h"
#include "queries.h"
#include "report_format.h"
#include "schema.h"

namespace qv {
namespace {

// A command's words: how many plain words it takes and which options.
struct CommandForm {
  std::string_view name;
  std::string_view words;  // after the index's path, for the usage
  std::string_view what;
  std::size_t least = 0;
  std::size_t most = 0;
  bool csv = false;
  bool since = false;
  bool title = false;
};

constexpr std::size_t kAny = static_cast<std::size_t>(-1);

// `sql`'s words are its query, read apart from the others.
constexpr CommandForm kCommands[] = {
    {"index", "PATH...", "index the reports in these files and folders", 1, kAny},
    {"hosts", "", "every host with its latest snapshot", 0, 0, true},
    {"drivers", "[TEXT]", "drivers and versions, with how many hosts run each", 0, 1, true},
    {"find", "ID", "the hosts with a device of this id (ID* for a prefix)", 1, 1, true},
    {"changes", "[--since DATE]", "what changed between consecutive snapshots", 0, 0, false, true},
    {"sql", "QUERY", "any query that only reads", 1, kAny, true},
    {"export", "FOLDER", "the index as CSV files and a PostgreSQL schema", 1, 1},
    {"page", "OUT.html [--title TEXT]", "the fleet as one HTML page, to look at in a browser", 1, 1,
     false, false, true},
};

std::string synopsis(const CommandForm& form) {
  std::string line(form.name);
  line += " FLEET.db";
  if (!form.words.empty()) {
    line += ' ';
    line += form.words;
  }
  return line;
}

std::string full_usage() {
  std::string usage = "Usage: qvfleet COMMAND FLEET.db ..., where COMMAND is one of:\n";
  for (const CommandForm& form : kCommands) {
    std::string line = "  " + synopsis(form);
    line.resize(std::max<std::size_t>(line.size() + 1, 35), ' ');
    usage += line + std::string(form.what) + "\n";
  }
  return usage + "hosts, drivers, find and sql write tab-separated text, or CSV with --csv.\n";
}

std::string usage_of(const CommandForm& form) {
  return "Usage: qvfleet " + synopsis(form) + (form.csv ? " [--csv]" : "") + "\n";
}

constexpr int kTrouble = 2;

// "1 host", "2 hosts".
std::string counted(std::int64_t count, std::string_view thing) {
  return std::to_string(count) + " " + std::string(thing) + (count == 1 ? "" : "s");
}

// A command's words after the index's path, with its options taken out.
struct Words {
  std::vector<std::string> plain;
  int csv = 0;
  int since = 0;
  std::optional<std::string> since_date;  // none when --since is the last word
  int title = 0;
  std::optional<std::string> title_text;  // none when --title is the last word
  std::optional<std::string> unknown_option;
};

Words words_of(std::span<const std::string> arguments) {
  Words words;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--csv") {
      ++words.csv;
    } else if (word == "--since") {
      ++words.since;
      if (i + 1 < arguments.size()) words.since_date = arguments[++i];
    } else if (word == "--title") {
      ++words.title;
      if (i + 1 < arguments.size()) words.title_text = arguments[++i];
    } else if (word.starts_with("--") && word.size() > 2) {
      if (!words.unknown_option) words.unknown_option = word;
    } else {
      words.plain.push_back(word);
    }
  }
  return words;
}

// Whether the words are what the command takes, leaving the values aside.
bool fits(const CommandForm& form, const Words& words) {
  return words.plain.size() >= form.least && words.plain.size() <= form.most &&
         words.csv <= (form.csv ? 1 : 0) && words.since <= (form.since ? 1 : 0) &&
         words.title <= (form.title ? 1 : 0);
}

// `sql`'s query: every word but a lone --csv, joined by a space, so that a query
// may start with "--", an SQL comment.
struct SqlWords {
  std::string query;
  std::size_t count = 0;
  int csv = 0;
};

SqlWords sql_words_of(std::span<const std::string> arguments) {
  SqlWords words;
  for (const std::string& word : arguments) {
    if (word == "--csv") {
      ++words.csv;
      continue;
    }
    if (words.count++ > 0) words.query += ' ';
    words.query += word;
  }
  return words;
}

class Command {
 public:
  Command(const FleetStreams& streams, std::string index_path)
      : streams_(streams), index_path_(std::move(index_path)), out_(streams.out, streams.err) {}

  int usage(const std::string& text) {
    write_error(streams_.err, text);
    return kTrouble;
  }
  int trouble(const std::string& message) {
    write_error(streams_.err, message + "\n");
    return kTrouble;
  }

  std::expected<Database, std::string> open() {
    auto db = open_index(index_path_, IndexAccess::read);
    if (!db) return Failed("Couldn't open the index " + one_line_text(index_path_) + ": " + db.error());
    return db;
  }

  // The rows of a statement on standard output.
  int rows(Statement& statement, bool csv) {
    const auto written = write_rows(statement, csv ? TableFormat::csv : TableFormat::tsv, sink());
    if (!written) return trouble(written.error());
    return out_.failed() ? kTrouble : 0;
  }

  int query(std::string_view sql, const std::vector<std::optional<std::string>>& values, bool csv) {
    auto db = open();
    if (!db) return trouble(db.error());
    auto statement = db->prepare(sql);
    if (!statement) return trouble("The query failed: " + statement.error());
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (values[i]) {
        statement->bind(static_cast<int>(i + 1), std::string_view(*values[i]));
      } else {
        statement->bind(static_cast<int>(i + 1), std::nullopt);
      }
    }
    return rows(*statement, csv);
  }

  int sql(const std::string& text, bool csv) {
    auto db = open();
    if (!db) return trouble(db.error());
    auto statement = prepare_read_only(*db, text);
    if (!statement) return trouble(statement.error());
    return rows(*statement, csv);
  }

  int changes(const std::optional<std::string>& since) {
    if (since && !is_utc_date_or_time(*since)) {
      return trouble("The date after --since is not a day or a time of the calendar, " +
                     std::string(kDateForms) + ": " + one_line_text(*since) + ".");
    }
    auto db = open();
    if (!db) return trouble(db.error());
    if (auto begun = db->execute("BEGIN"); !begun) return trouble(begun.error());
    const auto written = write_changes(*db, since, sink());
    (void)db->execute("COMMIT");
    if (!written) return trouble("The changes can't be read: " + written.error());
    return out_.failed() ? kTrouble : 0;
  }

  int export_to(const std::string& folder) {
    auto db = open();
    if (!db) return trouble(db.error());
    const auto exported =
        export_index(*db, std::filesystem::path(std::u8string(folder.begin(), folder.end())));
    if (!exported) return trouble("Couldn't export the index: " + exported.error());
    out_.write("exported " + std::to_string(exported_tables().size()) + " tables to " +
               one_line_text(folder) + "\n");
    return out_.failed() ? kTrouble : 0;
  }

  int page(const std::string& file, const std::optional<std::string>& title) {
    auto db = open();
    if (!db) return trouble(db.error());
    PageOptions options;
    if (title) options.title = *title;
    const auto written =
        write_page(*db, std::filesystem::path(std::u8string(file.begin(), file.end())), options);
    if (!written) return trouble(written.error());
    out_.write("wrote " + one_line_text(file) + ": " + counted(written->hosts, "host") + ", " +
               counted(written->snapshots, "snapshot") + ", " +
               counted(written->drivers, "driver") + ", " + counted(written->bytes, "byte") +
               "\n");
    return out_.failed() ? kTrouble : 0;
  }

 private:
  LineSink sink() {
    return [this](std::string_view lines) {
      out_.write(lines);
      return !out_.failed();
    };
  }

  const FleetStreams& streams_;
  std::string index_path_;
  StandardOutput out_;
};

const CommandForm* form_of(std::string_view name) {
  for (const CommandForm& form : kCommands) {
    if (form.name == name) return &form;
  }
  return nullptr;
}

int run_sql(Command& command, const CommandForm& form, std::span<const std::string> words) {
  const SqlWords sql = sql_words_of(words);
  if (sql.count == 0 || sql.csv > 1) return command.usage(usage_of(form));
  return command.sql(sql.query, sql.csv == 1);
}

int run_command(Command& command, const CommandForm& form, const std::string& index,
                std::span<const std::string> arguments, const FleetStreams& streams) {
  const Words words = words_of(arguments);
  if (words.unknown_option) {
    return command.trouble("The option " + one_line_text(*words.unknown_option) +
                           " is not one of qvfleet's.");
  }
  if (!fits(form, words)) return command.usage(usage_of(form));
  const auto& plain = words.plain;
  const bool csv = words.csv == 1;
  if (form.name == "index") {
    return run_index(index, plain, {streams.out, streams.err, streams.err_is_terminal});
  }
  if (form.name == "hosts") return command.query(kHostsQuery, {}, csv);
  if (form.name == "drivers") {
    std::optional<std::string> text;
    if (!plain.empty()) text = plain[0];
    return command.query(kDriversQuery, {text}, csv);
  }
  if (form.name == "find") {
    const std::string& id = plain[0];
    if (id.ends_with('*')) {
      return command.query(find_query(true), {like_prefix(id.substr(0, id.size() - 1))}, csv);
    }
    return command.query(find_query(false), {id}, csv);
  }
  if (form.name == "changes") {
    if (words.since == 1 && !words.since_date) {
      return command.trouble("The option --since needs a date: " + std::string(kDateForms) + ".");
    }
    return command.changes(words.since_date);
  }
  if (form.name == "page") {
    if (words.title == 1 && !words.title_text) {
      return command.trouble("The option --title needs a text.");
    }
    return command.page(plain[0], words.title_text);
  }
  return command.export_to(plain[0]);
}

}  // namespace

int run_qvfleet(std::span<const std::string> arguments, const FleetStreams& streams) {
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "help")) {
    StandardOutput out(streams.out, streams.err);
    out.write(full_usage());
    return out.failed() ? kTrouble : 0;
  }
  const CommandForm* form = arguments.empty() ? nullptr : form_of(arguments[0]);
  if (form == nullptr) return Command(streams, "").usage(full_usage());
  if (arguments.size() < 2) return Command(streams, "").usage(usage_of(*form));
  Command command(streams, arguments[1]);
  if (form->name == "sql") return run_sql(command, *form, arguments.subspan(2));
  return run_command(command, *form, arguments[1], arguments.subspan(2), streams);
}

}  // namespace qv
