#pragma once
// What a test reads back from a SQLite database that the code under test wrote, through a
// connection of its own.

#include <sqlite3.h>

#include <string>
#include <vector>

namespace jr::test {

// The first column of every row that the statements of `sql` give, NULL as "NULL".
inline std::vector<std::string> SelectColumn(const std::string& path, const std::string& sql) {
  std::vector<std::string> values;
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(
      db, sql.c_str(),
      [](void* out, int, char** row, char**) {
        static_cast<std::vector<std::string>*>(out)->push_back(row[0] ? row[0] : "NULL");
        return 0;
      },
      &values, nullptr);
  sqlite3_close(db);
  return values;
}

}  // namespace jr::test
