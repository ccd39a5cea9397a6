// A data table of 100,000 rows (a unique integer key, a unique 12-byte text key, a real) sorted by
// the integer key, then by the text key (each sort starts from the other's order, which is random
// to it), and one row located by its text key; beside the same work in an in-memory SQLite
// database: the ordered SELECT stepped through every row, and a lookup by the text column without
// an index (both sides scan). BM_RatioToSQLite runs both sides in turn in each of its iterations
// and reports our time as a multiple of SQLite's for each task.
#include "platform/clock.h"
#include "script/dbs.h"
#include "script/params_values.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t kRows = 100000;

struct TRow {
    int32_t Id;
    std::string Name;
    double Value;
};

// The rows in a random order: ids and names are each a shuffled sequence, independent of each other.
std::vector<TRow> MakeRows() {
    std::mt19937 random(12345);
    std::vector<int32_t> ids(kRows), names(kRows);
    for (int32_t i = 0; i < kRows; ++i) ids[static_cast<size_t>(i)] = names[static_cast<size_t>(i)] = i;
    std::shuffle(ids.begin(), ids.end(), random);
    std::shuffle(names.begin(), names.end(), random);
    std::vector<TRow> rows;
    for (int32_t i = 0; i < kRows; ++i) {
        char name[16];
        snprintf(name, sizeof name, "key%09d", names[static_cast<size_t>(i)] * 7919 % kRows);
        rows.push_back({ids[static_cast<size_t>(i)] * 3 - kRows, name, i * 0.25});
    }
    return rows;
}

const std::vector<TRow>& Rows() {
    static const std::vector<TRow> rows = MakeRows();
    return rows;
}

const std::string& Wanted() { return Rows()[kRows / 3].Name; }

class TOurTable {
public:
    TOurTable() : table_("bench", DBGameTable) {
        table_.Fields().AddField("id", DBInteger, 0);
        table_.Fields().AddField("name", DBString, 12);
        table_.Fields().AddField("value", DBFloat, 0);
        for (const TRow& row : Rows()) {
            table_.Append();
            table_.SetInt(table_.GetRecNo(), 0, row.Id);
            table_.SetStr(table_.GetRecNo(), 1, row.Name);
            table_.SetFloat(table_.GetRecNo(), 2, row.Value);
        }
        byId_.SetStr("id");
        byName_.SetStr("name");
        key_.SetStr(Wanted());
    }
    // The first row's integer key after the sort.
    int32_t SortById() {
        table_.Sort(byId_, ascending_);
        int32_t id = 0;
        table_.GetInt(0, 0, id);
        return id;
    }
    std::string SortByName() {
        table_.Sort(byName_, ascending_);
        std::string name;
        table_.GetStr(0, 1, name);
        return name;
    }
    // The rows the text key selects.
    int Locate() {
        TIntList rows;
        table_.SelectRows(rows, &byName_, &key_, false, false);
        return rows.Count();
    }

private:
    TDBTable table_;
    TParamStr byId_, byName_, key_;
    TParamFlag ascending_;
};

class TSQLiteTable {
public:
    TSQLiteTable() {
        sqlite3_open(":memory:", &db_);
        sqlite3_exec(db_, "CREATE TABLE bench (id INTEGER, name TEXT, value REAL)", nullptr, nullptr, nullptr);
        sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = Prepare("INSERT INTO bench VALUES (?, ?, ?)");
        for (const TRow& row : Rows()) {
            sqlite3_bind_int(insert, 1, row.Id);
            sqlite3_bind_text(insert, 2, row.Name.data(), static_cast<int>(row.Name.size()), SQLITE_STATIC);
            sqlite3_bind_double(insert, 3, row.Value);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        byId_ = Prepare("SELECT id, name, value FROM bench ORDER BY id");
        byName_ = Prepare("SELECT id, name, value FROM bench ORDER BY name");
        locate_ = Prepare("SELECT rowid FROM bench WHERE name = ?");
    }
    ~TSQLiteTable() {
        for (sqlite3_stmt* statement : {byId_, byName_, locate_}) sqlite3_finalize(statement);
        sqlite3_close(db_);
    }
    int32_t SortById() {
        int32_t first = 0;
        Step(byId_, [&first](sqlite3_stmt* S, int Row) {
            if (Row == 0) first = sqlite3_column_int(S, 0);
        });
        return first;
    }
    std::string SortByName() {
        std::string first;
        Step(byName_, [&first](sqlite3_stmt* S, int Row) {
            if (Row == 0) first = reinterpret_cast<const char*>(sqlite3_column_text(S, 1));
        });
        return first;
    }
    int Locate() {
        sqlite3_bind_text(locate_, 1, Wanted().data(), static_cast<int>(Wanted().size()), SQLITE_STATIC);
        return Step(locate_, [](sqlite3_stmt*, int) {});
    }

private:
    sqlite3_stmt* Prepare(const char* Sql) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db_, Sql, -1, &statement, nullptr);
        return statement;
    }
    // Steps through every result row, reading its columns as a caller would; the row count.
    template <class F>
    int Step(sqlite3_stmt* Statement, F OnRow) {
        int rows = 0;
        while (sqlite3_step(Statement) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_int(Statement, 0));
            benchmark::DoNotOptimize(sqlite3_column_text(Statement, 1));
            benchmark::DoNotOptimize(sqlite3_column_double(Statement, 2));
            OnRow(Statement, rows++);
        }
        sqlite3_reset(Statement);
        return rows;
    }

    sqlite3* db_ = nullptr;
    sqlite3_stmt *byId_ = nullptr, *byName_ = nullptr, *locate_ = nullptr;
};

const int32_t kFirstId = -kRows;
const std::string kFirstName = "key000000000";

template <class Table>
bool RunAll(Table& T) {
    return T.SortById() == kFirstId && T.SortByName() == kFirstName && T.Locate() == 1;
}

template <class Table>
void Run(benchmark::State& State) {
    Table table;
    bool right = true;
    for (auto _ : State) right &= RunAll(table);
    if (!right) State.SkipWithError("wrong result");
}

void BM_OurTable(benchmark::State& State) { Run<TOurTable>(State); }
void BM_SQLite(benchmark::State& State) { Run<TSQLiteTable>(State); }

// Each task on both sides one after the other in each iteration, so that a busy machine slows both
// alike: "x_sqlite_<task>" is our time over SQLite's.
void BM_RatioToSQLite(benchmark::State& State) {
    TOurTable ours;
    TSQLiteTable peer;
    uint64_t time[2][3] = {};
    const auto timed = [](uint64_t& Total, auto Task) {
        const uint64_t start = platform::ClockNs();
        const bool right = Task();
        Total += platform::ClockNs() - start;
        return right;
    };
    bool right = true;
    for (auto _ : State) {
        right &= timed(time[0][0], [&] { return ours.SortById() == kFirstId; });
        right &= timed(time[1][0], [&] { return peer.SortById() == kFirstId; });
        right &= timed(time[0][1], [&] { return ours.SortByName() == kFirstName; });
        right &= timed(time[1][1], [&] { return peer.SortByName() == kFirstName; });
        right &= timed(time[0][2], [&] { return ours.Locate() == 1; });
        right &= timed(time[1][2], [&] { return peer.Locate() == 1; });
    }
    if (!right) State.SkipWithError("wrong result");
    const char* tasks[] = {"x_sqlite_int_sort", "x_sqlite_text_sort", "x_sqlite_locate"};
    for (int i = 0; i < 3; ++i) State.counters[tasks[i]] = double(time[0][i]) / double(time[1][i]);
}

}  // namespace

BENCHMARK(BM_OurTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SQLite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RatioToSQLite)->Unit(benchmark::kMillisecond)->MinTime(2.0);
