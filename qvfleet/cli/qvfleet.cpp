#include "qvfleet.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "changes.h"
#include "command_words.h"
#include "driver_runs.h"
#include "export.h"
#include "index_command.h"
#include "no_driver.h"
#include "page.h"
#include "queries.h"
#include "qv_version.h"
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
  std::string_view options = "";  // their names, split by spaces
};

constexpr std::size_t kAny = static_cast<std::size_t>(-1);

// `sql`'s words are its query, read apart from the others.
constexpr CommandForm kCommands[] = {
    {"index", "PATH...", "index the reports in these files and folders", 1, kAny},
    {"hosts", "[--seen-before DATE]", "every host with its latest snapshot", 0, 0,
     "--csv --seen-before"},
    {"drivers", "[TEXT] [--by-inf]", "each driver's versions, with how many hosts run each", 0, 1,
     "--csv --by-inf"},
    {"behind", "[TEXT] [--version V]", "the hosts that run an older version of a driver", 0, 1,
     "--csv --version"},
    {"nodriver", "[TEXT]", "the devices without a driver", 0, 1, "--csv"},
    {"find", "ID", "the hosts with a device of this id (ID* for a prefix)", 1, 1, "--csv"},
    {"changes", "[--since DATE] [--host NAME]", "what changed between consecutive snapshots", 0, 0,
     "--since --host"},
    {"sql", "QUERY", "any query that only reads", 1, kAny, "--csv"},
    {"export", "FOLDER", "the index as CSV files and a PostgreSQL schema", 1, 1},
    {"page", "OUT.html [--title TEXT]", "the fleet as one HTML page, to look at in a browser", 1, 1,
     "--title"},
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
    line.resize(std::max<std::size_t>(line.size() + 1, 48), ' ');
    usage += line + std::string(form.what) + "\n";
  }
  return usage +
         "hosts, drivers, behind, nodriver, find and sql write tab-separated text, or CSV with "
         "--csv.\n";
}

std::string usage_of(const CommandForm& form) {
  return "Usage: qvfleet " + synopsis(form) + (takes(form.options, "--csv") ? " [--csv]" : "") +
         "\n";
}

constexpr int kTrouble = 2;

// "1 host", "2 hosts".
std::string counted(std::int64_t count, std::string_view thing) {
  return std::to_string(count) + " " + std::string(thing) + (count == 1 ? "" : "s");
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

// Whether the index has a host of this name. Hosts are told apart as their
// reports name them, byte for byte: PC-1 and pc-1 are two.
std::expected<bool, std::string> is_host(Database& db, const std::string& name) {
  auto statement = db.prepare("SELECT EXISTS (SELECT 1 FROM host WHERE name = ?1)");
  if (!statement) return Failed(statement.error());
  statement->bind(1, name);
  const auto row = statement->step();
  if (!row) return Failed(row.error());
  return *row && statement->integer(0) != 0;
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
    if (!db)
      return Failed("Couldn't open the index " + one_line_text(index_path_) + ": " + db.error());
    return db;
  }

  // The rows of a statement on standard output.
  int rows(Statement& statement, bool csv) {
    const auto written = write_rows(statement, csv ? TableFormat::csv : TableFormat::tsv, sink());
    if (!written) return trouble(written.error());
    return out_.failed() ? kTrouble : 0;
  }

  // `bind` gives the statement its values.
  int query(std::string_view sql, const std::function<void(Statement&)>& bind, bool csv) {
    auto db = open();
    if (!db) return trouble(db.error());
    auto statement = db->prepare(sql);
    if (!statement) return trouble("The query failed: " + statement.error());
    bind(*statement);
    return rows(*statement, csv);
  }

  // A question whose rows `write` makes, read as one read of the index.
  using Answer = std::function<std::expected<void, std::string>(Database&, const LineSink&)>;
  int answer(const Answer& write) {
    auto db = open();
    if (!db) return trouble(db.error());
    if (auto begun = db->execute("BEGIN"); !begun) return trouble(begun.error());
    const auto written = write(*db, sink());
    (void)db->execute("COMMIT");
    if (!written) return trouble("The query failed: " + written.error());
    return out_.failed() ? kTrouble : 0;
  }

  int sql(const std::string& text, bool csv) {
    auto db = open();
    if (!db) return trouble(db.error());
    auto statement = prepare_read_only(*db, text);
    if (!statement) return trouble(statement.error());
    return rows(*statement, csv);
  }

  int changes(const std::optional<std::string>& since, const std::optional<std::string>& host) {
    auto db = open();
    if (!db) return trouble(db.error());
    if (auto begun = db->execute("BEGIN"); !begun) return trouble(begun.error());
    const auto known = host ? is_host(*db, *host) : true;
    const auto written = known && *known ? write_changes(*db, since, sink(), host)
                                         : std::expected<void, std::string>();
    (void)db->execute("COMMIT");
    if (!known) return trouble("The changes can't be read: " + known.error());
    if (!*known) return trouble("The index has no host named " + one_line_text(*host) + ".");
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
               counted(written->drivers, "driver") + ", " + counted(written->bytes, "byte") + "\n");
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

// Binds these texts to ?1, ?2...; none binds null.
std::function<void(Statement&)> texts(std::vector<std::optional<std::string>> values) {
  return [values = std::move(values)](Statement& statement) {
    for (std::size_t i = 0; i < values.size(); ++i) {
      statement.bind(static_cast<int>(i + 1),
                     values[i] ? std::optional<std::string_view>(*values[i]) : std::nullopt);
    }
  };
}

int behind(Command& command, const std::optional<std::string>& text,
           const std::optional<std::string>& given, TableFormat format) {
  std::optional<std::array<std::int64_t, 4>> version;
  if (given) {
    version = version_numbers(*given);
    if (!version) {
      return command.trouble(
          "The version after --version is not one as drivers have them, four numbers up to "
          "65535 split by dots (31.0.101.4502): " +
          one_line_text(*given) + ".");
    }
  }
  return command.answer([&](Database& db, const LineSink& out) {
    return write_behind(db, text, version, format, out);
  });
}

int run_command(Command& command, const CommandForm& form, const std::string& index,
                std::span<const std::string> arguments, const FleetStreams& streams) {
  const Words words = words_of(arguments);
  if (words.unknown_option) {
    return command.trouble("The option " + one_line_text(*words.unknown_option) +
                           " is not one of qvfleet's.");
  }
  if (!fits(words, form.least, form.most, form.options)) return command.usage(usage_of(form));
  if (const auto trouble = value_trouble(words)) return command.trouble(*trouble);
  const auto& plain = words.plain;
  const std::optional<std::string> first = plain.empty() ? std::nullopt : std::optional(plain[0]);
  const bool csv = words.count("--csv") == 1;
  if (form.name == "index") {
    return run_index(index, plain, {streams.out, streams.err, streams.err_is_terminal});
  }
  if (form.name == "hosts") {
    const auto& date = words.value("--seen-before");
    return command.query(date ? kHostsSeenBeforeQuery : kHostsQuery, texts({date}), csv);
  }
  const TableFormat format = csv ? TableFormat::csv : TableFormat::tsv;
  if (form.name == "drivers" && words.count("--by-inf") == 1) {
    return command.query(kDriversByInfQuery, texts({first}), csv);
  }
  if (form.name == "drivers") {
    return command.answer(
        [&](Database& db, const LineSink& out) { return write_drivers(db, first, format, out); });
  }
  if (form.name == "behind") return behind(command, first, words.value("--version"), format);
  if (form.name == "nodriver") {
    return command.answer(
        [&](Database& db, const LineSink& out) { return write_no_driver(db, first, format, out); });
  }
  if (form.name == "find") {
    const std::string& id = plain[0];
    if (id.ends_with('*')) {
      return command.query(find_query(true), texts({like_prefix(id.substr(0, id.size() - 1))}),
                           csv);
    }
    return command.query(find_query(false), texts({id}), csv);
  }
  if (form.name == "changes") return command.changes(words.value("--since"), words.value("--host"));
  if (form.name == "page") return command.page(plain[0], words.value("--title"));
  return command.export_to(plain[0]);
}

}  // namespace

int run_qvfleet(std::span<const std::string> arguments, const FleetStreams& streams) {
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "help")) {
    StandardOutput out(streams.out, streams.err);
    out.write(full_usage());
    return out.failed() ? kTrouble : 0;
  }
  if (arguments.size() == 1 && arguments[0] == "--version") {
    StandardOutput out(streams.out, streams.err);
    out.write("qvfleet " + std::string(kVersion) + "\n");
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
