#include "qvfleet.h"

#include <filesystem>
#include <optional>
#include <vector>

#include "changes.h"
#include "export.h"
#include "index_command.h"
#include "queries.h"
#include "report_format.h"
#include "schema.h"

namespace qv {
namespace {

constexpr std::string_view kUsage =
    "Usage: qvfleet COMMAND FLEET.db ..., where COMMAND is one of:\n"
    "  index FLEET.db PATH...           index the reports in these files and folders\n"
    "  hosts FLEET.db                   every host with its latest snapshot\n"
    "  drivers FLEET.db [TEXT]          drivers and versions, with how many hosts run each\n"
    "  find FLEET.db ID                 the hosts with a device of this id (ID* for a prefix)\n"
    "  changes FLEET.db [--since DATE]  what changed between consecutive snapshots\n"
    "  sql FLEET.db QUERY               any query that only reads\n"
    "  export FLEET.db FOLDER           the index as CSV files and a PostgreSQL schema\n"
    "hosts, drivers, find and sql write tab-separated text, or CSV with --csv.\n";

constexpr int kTrouble = 2;

// A command's words after the index's path, with its options taken out.
struct Words {
  std::vector<std::string> plain;
  bool csv = false;
  std::optional<std::string> since;
  std::optional<std::string> unknown_option;
};

Words words_of(std::span<const std::string> arguments) {
  Words words;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--csv") {
      words.csv = true;
    } else if (word == "--since" && i + 1 < arguments.size()) {
      words.since = arguments[++i];
    } else if (word.starts_with("--") && word.size() > 2) {
      words.unknown_option = word;
    } else {
      words.plain.push_back(word);
    }
  }
  return words;
}

class Command {
 public:
  Command(const FleetStreams& streams, std::string index_path)
      : streams_(streams), index_path_(std::move(index_path)), out_(streams.out, streams.err) {}

  int usage() {
    write_error(streams_.err, kUsage);
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
    if (since && !is_since_text(*since)) {
      return trouble("The date after --since is not YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ: " +
                     one_line_text(*since) + ".");
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

}  // namespace

int run_qvfleet(std::span<const std::string> arguments, const FleetStreams& streams) {
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "help")) {
    StandardOutput out(streams.out, streams.err);
    out.write(kUsage);
    return out.failed() ? kTrouble : 0;
  }
  if (arguments.size() < 2) return Command(streams, "").usage();
  const std::string& name = arguments[0];
  Command command(streams, arguments[1]);
  const Words words = words_of(arguments.subspan(2));
  if (words.unknown_option) {
    return command.trouble("The option " + one_line_text(*words.unknown_option) +
                           " is not one of qvfleet's.");
  }
  const auto& plain = words.plain;
  if (name == "index" && !plain.empty() && !words.csv && !words.since) {
    return run_index(arguments[1], plain, streams);
  }
  if (name == "hosts" && plain.empty() && !words.since) {
    return command.query(kHostsQuery, {}, words.csv);
  }
  if (name == "drivers" && plain.size() <= 1 && !words.since) {
    std::optional<std::string> text;
    if (!plain.empty()) text = plain[0];
    return command.query(kDriversQuery, {text}, words.csv);
  }
  if (name == "find" && plain.size() == 1 && !words.since) {
    const std::string& id = plain[0];
    if (id.ends_with('*')) {
      return command.query(find_query(true), {like_prefix(id.substr(0, id.size() - 1))},
                           words.csv);
    }
    return command.query(find_query(false), {id}, words.csv);
  }
  if (name == "changes" && plain.empty() && !words.csv) return command.changes(words.since);
  if (name == "sql" && plain.size() == 1 && !words.since) return command.sql(plain[0], words.csv);
  if (name == "export" && plain.size() == 1 && !words.csv && !words.since) {
    return command.export_to(plain[0]);
  }
  return command.usage();
}

}  // namespace qv
