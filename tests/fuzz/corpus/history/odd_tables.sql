CREATE TABLE process_metadata (id);
CREATE VIEW runs AS SELECT 'R' AS run_id;
CREATE TABLE run_lines (x);
PRAGMA user_version = -4;
