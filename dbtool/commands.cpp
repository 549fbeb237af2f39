// qm_dbtool's commands: create, dump, info, table-dump and table-load.
#include "dbtool/commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "dbtool/database_file.h"
#include "dbtool/load_callback.h"
#include "dbv/dump_database.h"
#include "dbv/dump_table.h"
#include "dbv/event_texts.h"
#include "dbv/load_database.h"
#include "outside/table_store.h"

namespace dbtool {
namespace {

const char* const kUsage =
    "usage: qm_dbtool COMMAND [ARGS]   (qm_dbtool COMMAND --help for one command)\n"
    "  create FILE DESCRIPTION    write a database file from a text description\n"
    "  dump FILE [--tables PATTERN] [--max-rows N] [-o OUT]\n"
    "                             write the dump text of a database file\n"
    "  info FILE                  list the header, tables, row counts and events\n"
    "  table-dump FILE TABLE [-o OUT]\n"
    "                             write one table's block of dump text\n"
    "  table-load FILE TABLE TEXT replace one table's rows by those of a block of dump text\n"
    "Exit status: 0 done, 1 failed, 2 usage error.\n";

const std::map<std::string, const char*> kCommandHelp = {
    {"create",
     "usage: qm_dbtool create FILE DESCRIPTION\n"
     "Writes the database file FILE from the text description in the file DESCRIPTION\n"
     "(statements: description, domain, dbvids, event, table, column, key, tag, row;\n"
     "see the README). FILE is replaced only when it was written completely.\n"},
    {"dump",
     "usage: qm_dbtool dump FILE [--tables PATTERN] [--max-rows N] [-o OUT]\n"
     "Writes the dump text of the database file FILE to OUT (standard output by default).\n"
     "PATTERN: ';'-separated wildcard patterns of table names, case ignored. N: rows written\n"
     "per table (default 100000, negative for all).\n"},
    {"info",
     "usage: qm_dbtool info FILE\n"
     "Lists the header of the database file FILE, its tables with their row counts and its\n"
     "events.\n"},
    {"table-dump",
     "usage: qm_dbtool table-dump FILE TABLE [-o OUT]\n"
     "Writes the block of dump text of table TABLE (number or name) to OUT.\n"},
    {"table-load",
     "usage: qm_dbtool table-load FILE TABLE TEXT\n"
     "Replaces the rows of table TABLE (number or name) in the database file FILE by the rows\n"
     "of the block of dump text in the file TEXT. Byte fields are read as Base64.\n"},
};

struct Options {
    std::vector<std::string> positional;
    std::map<std::string, std::string> named;
};

// Splits arguments into positional ones and the named options of `allowed` (each takes a
// value). False with `error` for an unknown option or a missing value.
bool parse_options(const std::vector<std::string>& args, const std::vector<std::string>& allowed,
                   Options& options, std::string& error) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 1 && a[0] == '-') {
            if (std::find(allowed.begin(), allowed.end(), a) == allowed.end()) {
                error = "unknown option " + a;
                return false;
            }
            if (i + 1 >= args.size()) {
                error = "option " + a + " needs a value";
                return false;
            }
            options.named[a] = args[++i];
        } else {
            options.positional.push_back(a);
        }
    }
    return true;
}

// False with `error` when the file cannot be opened for reading.
bool readable(const std::string& fileName, std::string& error) {
    FILE* file = std::fopen(fileName.c_str(), "rb");
    if (file == nullptr) {
        error = fileName + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(file);
    return true;
}

// A database file loaded into a scratch database for the lifetime of the object.
class LoadedFile {
  public:
    LoadedFile(const std::string& fileName, bool progress) {
        RegisterLoadCallback();
        if (!readable(fileName, error_)) return;
        if (!scratch_.ok()) {
            error_ = "no scratch database can be made";
            return;
        }
        dbv::LoadDatabase_c loader(&container_);
        if (progress) {
            loader.SetProgressCallback([](int32_t, const std::string& text) {
                std::fprintf(stderr, "\r%-40s", text.c_str());
                return true;
            });
        }
        int32_t failed = -1;
        dbv_timeidmapping_s* mapping = nullptr;
        const auto result =
            loader.Load(kLoadCallbackName, fileName, true, header_, failed, &mapping);
        if (progress) std::fprintf(stderr, "\r%-40s\r", "");
        if (result == dbv::LoadDatabase_c::LOAD_COMPLETE) {
            ok_ = true;
        } else if (result == dbv::LoadDatabase_c::LOAD_TABLE_DATA_FAILED && failed >= 0) {
            error_ = fileName + ": the data of table " +
                     header_.m_Tables[static_cast<size_t>(failed)].m_TableName + " is damaged";
        } else {
            error_ =
                fileName + ": " +
                (LastHeaderError().empty() ? std::string("cannot be loaded") : LastHeaderError());
        }
    }
    ~LoadedFile() { container_.Clear(true); }

    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    const dbv::DatabaseHeader_c& header() const { return header_; }
    const dbv::DomainAndEvents_c& container() const { return container_; }

    // The table named by number or name; null when the file has none.
    const dbv::DatabaseTable_c* find(const std::string& which) const {
        for (const dbv::DatabaseTable_c& t : header_.m_Tables) {
            if (t.m_TableName == which || std::to_string(t.m_TableNumber) == which) return &t;
        }
        return nullptr;
    }

  private:
    ScratchDatabase scratch_;
    dbv::DomainAndEvents_c container_;
    dbv::DatabaseHeader_c header_;
    bool ok_ = false;
    std::string error_;
};

int failed(std::ostream& err, const std::string& what) {
    err << "qm_dbtool: " << what << "\n";
    return kExitFailed;
}

int run_create(const Options& o, std::ostream& err) {
    std::ifstream in(o.positional[1], std::ios::binary);
    if (!in) return failed(err, "cannot read " + o.positional[1]);
    std::stringstream text;
    text << in.rdbuf();
    DatabaseDescription description;
    std::string error;
    if (!ParseDescription(text.str(), description, error)) {
        return failed(err, o.positional[1] + ": " + error);
    }
    ScratchDatabase scratch;
    if (!scratch.ok()) return failed(err, "no scratch database can be made");
    dbv::DomainAndEvents_c container;
    const bool ok = BuildDatabase(description, container, error) &&
                    WriteDatabaseFile(o.positional[0], HeaderOf(description), container, error);
    container.Clear(true);
    return ok ? kExitDone : failed(err, o.positional[0] + ": " + error);
}

int run_dump(const Options& o, std::ostream& err, bool progress) {
    const auto out = o.named.find("-o");
    dbv::DumpDatabase_c dump(out == o.named.end() || out->second == "-" ? "/dev/stdout"
                                                                        : out->second);
    if (const auto t = o.named.find("--tables"); t != o.named.end())
        dump.SetTableNameFilter(t->second);
    if (const auto m = o.named.find("--max-rows"); m != o.named.end()) {
        char* end = nullptr;
        const long n = std::strtol(m->second.c_str(), &end, 10);
        if (m->second.empty() || *end != '\0' || n > INT32_MAX || n < INT32_MIN) {
            err << "qm_dbtool: --max-rows takes a number\n";
            return kExitUsage;
        }
        dump.SetMaxTableRowCount(static_cast<int32_t>(n));
    }
    if (progress) {
        dump.SetProgressCallback([](int32_t percent, const std::string& table) {
            if (percent >= 0) std::fprintf(stderr, "\r[%3d%%] %-32s", percent, table.c_str());
            return true;
        });
    }
    RegisterLoadCallback();
    std::string error;
    if (!readable(o.positional[0], error)) return failed(err, error);
    const bool ok = dump.Write(kLoadCallbackName, o.positional[0]);
    if (progress) std::fprintf(stderr, "\r%-40s\r", "");
    if (!ok) {
        return failed(err,
                      o.positional[0] + ": " +
                          (LastHeaderError().empty() ? "cannot be dumped" : LastHeaderError()));
    }
    return kExitDone;
}

int run_info(const Options& o, std::ostream& out, std::ostream& err, bool progress) {
    LoadedFile file(o.positional[0], progress);
    if (!file.ok()) return failed(err, file.error());
    const dbv::DatabaseHeader_c& h = file.header();
    out << "File: " << o.positional[0] << "\n"
        << "Description: " << h.m_Description << "\n"
        << "Domain: " << (h.m_HasDomain ? "yes" : "no")
        << ", dbv ids: " << (h.m_UsesDbvIds ? "yes" : "no")
        << ", incremental: " << (h.m_Incremental ? "yes" : "no") << "\n"
        << "Tables: " << h.m_Tables.size() << "\n";
    for (const dbv::DatabaseTable_c& t : h.m_Tables) {
        out << "  " << t.m_TableNumber << " " << t.m_TableName << ": "
            << dbv_getrowcount(dbv::GetVirtualTablePointer(t.m_TableNumber)) << " rows"
            << (t.m_Framed ? ", framed" : "") << "\n";
    }
    dbv_domain_s* domain = nullptr;
    if (file.container().GetDomain(&domain) && domain != nullptr) {
        static const char* const kLevels[] = {"local", "company", "project"};
        const int32_t levels = file.container().GetDomainEventsCount();
        for (int32_t level = 0; level < levels && level < 3; ++level) {
            dbv_domainevents_s* events = nullptr;
            if (file.container().GetDomainEvents(
                    static_cast<dbv::DomainAndEvents_c::DomainEventLevel_e>(level), &events)) {
                out << "Events, " << kLevels[level] << ": "
                    << dbv::DomainEventsToString(events, domain) << "\n";
            }
        }
    }
    return kExitDone;
}

int run_table_dump(const Options& o, std::ostream& err, bool progress) {
    LoadedFile file(o.positional[0], progress);
    if (!file.ok()) return failed(err, file.error());
    const dbv::DatabaseTable_c* table = file.find(o.positional[1]);
    if (table == nullptr) return failed(err, o.positional[0] + ": no table " + o.positional[1]);
    const auto out = o.named.find("-o");
    const bool toStdout = out == o.named.end() || out->second == "-";
    FILE* stream = toStdout ? stdout : std::fopen(out->second.c_str(), "w");
    if (stream == nullptr) return failed(err, "cannot write " + out->second);
    dbv::DumpTable_c dump;
    dump.SetLogInfoOutput(false);
    const bool ok = dump.Write(table->m_TableNumber, stream, 2);
    const bool closed = toStdout ? std::fflush(stdout) == 0 : std::fclose(stream) == 0;
    return ok && closed ? kExitDone : failed(err, "the table cannot be written");
}

int run_table_load(const Options& o, std::ostream& err, bool progress) {
    LoadedFile file(o.positional[0], progress);
    if (!file.ok()) return failed(err, file.error());
    const dbv::DatabaseTable_c* table = file.find(o.positional[1]);
    if (table == nullptr) return failed(err, o.positional[0] + ": no table " + o.positional[1]);
    FILE* text = std::fopen(o.positional[2].c_str(), "r");
    if (text == nullptr) return failed(err, "cannot read " + o.positional[2]);
    char title[1280] = {};
    const std::string expected = "    Table " + table->m_TableName + " ";
    const bool titled = std::fgets(title, sizeof title, text) != nullptr &&
                        std::string(title).rfind(expected, 0) == 0;
    bool ok = false;
    if (titled) {
        dbv_cleartable(dbv::GetVirtualTablePointer(table->m_TableNumber));
        dbv::DumpTable_c dump;
        std::vector<uint8_t> row;
        ok = dump.Read(table->m_TableNumber, text, -1, row);
    }
    std::fclose(text);
    if (!titled) return failed(err, o.positional[2] + ": no block of table " + table->m_TableName);
    if (!ok) {
        return failed(err,
                      o.positional[2] +
                          ": the text is damaged or repeats a key; the database file is unchanged");
    }
    std::string error;
    if (!WriteDatabaseFile(o.positional[0], LastFileHeader(), file.container(), error)) {
        return failed(err, o.positional[0] + ": " + error);
    }
    return kExitDone;
}

}  // namespace

int RunDbtool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool progress) {
    if (args.empty()) {
        err << kUsage;
        return kExitUsage;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return kExitDone;
    }
    const auto help = kCommandHelp.find(command);
    if (help == kCommandHelp.end()) {
        err << "qm_dbtool: unknown command " << command << "\n" << kUsage;
        return kExitUsage;
    }
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << help->second;
            return kExitDone;
        }
    }
    static const std::map<std::string, std::pair<size_t, std::vector<std::string>>> kShapes = {
        {"create", {2, {}}},     {"dump", {1, {"--tables", "--max-rows", "-o"}}},
        {"info", {1, {}}},       {"table-dump", {2, {"-o"}}},
        {"table-load", {3, {}}},
    };
    const auto& [count, allowed] = kShapes.at(command);
    Options options;
    std::string error;
    if (!parse_options(args, allowed, options, error) || options.positional.size() != count) {
        err << "qm_dbtool " << command << ": "
            << (error.empty() ? "wrong number of arguments" : error) << "\n"
            << help->second;
        return kExitUsage;
    }
    if (command == "create") return run_create(options, err);
    if (command == "dump") return run_dump(options, err, progress);
    if (command == "info") return run_info(options, out, err, progress);
    if (command == "table-dump") return run_table_dump(options, err, progress);
    return run_table_load(options, err, progress);
}

}  // namespace dbtool
