CREATE TABLE runs (run_id, job_file, job_sha256, description, host, launcher, start_ms, end_ms, status, run_folder, admin_report, user_report, succeeded, failed, skipped);
INSERT INTO runs VALUES ('R', '/fuzz/job.xml', '', '', '', '', 0, NULL, NULL, '', '', '', 0, 0, 0);
