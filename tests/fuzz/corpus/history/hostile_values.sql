CREATE TABLE runs (run_id, job_file, job_sha256, description, host, launcher, start_ms, end_ms, status, run_folder, admin_report, user_report, succeeded, failed, skipped, rerun_of);
CREATE TABLE run_lines (run_id, line, position, seq, description, start_ms, end_ms, outcome, exit_code, repeat_of, exit_status);
INSERT INTO runs VALUES ('R', '/fuzz/job.xml', NULL, NULL, x'00ff', NULL, -9223372036854775808, 9223372036854775807, 'two', NULL, NULL, NULL, 'many', 1e300, -1, x'');
INSERT INTO runs VALUES ('R', '/fuzz/job.xml', 7, replace(hex(zeroblob(300000)), '00', 'xy'), 1, 2, 'yesterday', 1.5, 99, 3, 4, 5, 9223372036854775807, -9223372036854775808, NULL, 'R');
INSERT INTO run_lines VALUES ('R', 2147483648, -5, 4294967296, NULL, -62135596800000, 253402300800000, NULL, 9223372036854775807, 2147483648, 9223372036854775807);
INSERT INTO run_lines VALUES ('R', -1, NULL, NULL, x'c3', 'start', 'end', 'ok', 'zero', 'self', -1), ('R', 'ten', 1.9, -7, 1e400, 5, 4, 'OK', NULL, -1, 1e19);
