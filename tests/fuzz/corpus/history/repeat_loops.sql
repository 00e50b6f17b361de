CREATE TABLE runs (run_id, job_file, job_sha256, description, host, launcher, start_ms, end_ms, status, run_folder, admin_report, user_report, succeeded, failed, skipped, rerun_of);
CREATE TABLE run_lines (run_id, line, position, seq, description, start_ms, end_ms, outcome, exit_code, repeat_of, exit_status);
INSERT INTO runs VALUES ('R', '/fuzz/job.xml', '', '', '', '', 0, 9000000, 1, '', '', '', 0, 0, 0, NULL), ('P', '/fuzz/job.xml', '', '', '', '', -5, 0, 0, '', '', '', 0, 0, 0, NULL);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)
INSERT INTO run_lines SELECT r, i * 10, i, i, '', i * 100, i * 100 + 4000, 'ok', 0, CASE i % 3 WHEN 0 THEN i * 10 WHEN 1 THEN i * 10 + 10 ELSE 20 END, 0 FROM n, (SELECT 'R' AS r UNION SELECT 'P');
