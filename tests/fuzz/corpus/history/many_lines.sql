CREATE TABLE runs (run_id TEXT PRIMARY KEY, job_file TEXT NOT NULL, job_sha256 TEXT NOT NULL, description TEXT NOT NULL, host TEXT NOT NULL, launcher TEXT NOT NULL, start_ms INTEGER NOT NULL, end_ms INTEGER, status INTEGER, run_folder TEXT NOT NULL, admin_report TEXT NOT NULL, user_report TEXT NOT NULL, succeeded INTEGER NOT NULL DEFAULT 0, failed INTEGER NOT NULL DEFAULT 0, skipped INTEGER NOT NULL DEFAULT 0);
CREATE TABLE run_lines (run_id TEXT NOT NULL, line INTEGER NOT NULL, position INTEGER NOT NULL, seq INTEGER, description TEXT NOT NULL, start_ms INTEGER, end_ms INTEGER, outcome TEXT NOT NULL, exit_code INTEGER, repeat_of INTEGER, PRIMARY KEY (run_id, line)) WITHOUT ROWID;
PRAGMA user_version = 2;
INSERT INTO runs VALUES ('R', '/fuzz/job.xml', '', '', '', '', 0, 4000000, 0, '', '', '', 0, 0, 0), ('P', '/fuzz/job.xml', '', '', '', '', -1, 0, 0, '', '', '', 0, 0, 0);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000)
INSERT INTO run_lines SELECT r, i * 10, i, i, 'copy of a copy', i * 1000, i * 1000 + 900, 'ok', 0, CASE WHEN i > 1 THEN (i - 1) * 10 END FROM n, (SELECT 'R' AS r UNION SELECT 'P');
