#include "app/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "app/cli_batch_file.h"
#include "app/cli_check.h"
#include "app/cli_credential.h"
#include "app/cli_graph.h"
#include "app/cli_history.h"
#include "app/cli_jobs.h"
#include "app/cli_run.h"
#include "app/cli_schedule.h"
#include "app/cli_status.h"
#include "platform/config.h"
#include "platform/credentials.h"

namespace jr {
namespace {

// The words that make a command line one of options; any other first word starts the
// job file name of an unattended run.
constexpr const char* kOptionWords[] = {
    "-h",           "--help",       "--version",    "--check",      "--edit",
    "--history",    "--rerun",      "--force",      "--strict",     "--status",
    "--graph",      "--downstream", "--batch-file", "--credential", "--schedule",
    "--unschedule", "--dry-run",    "--root",       "--jobs",       "--ignore-calendar"};

std::string Joined(const std::vector<std::string>& words) {
  std::string joined;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i) joined += ' ';
    joined += words[i];
  }
  return joined;
}

// What is wrong and where to read more; the whole help would bury the one line that matters.
int Usage(const std::string& problem) {
  std::fprintf(stderr, "jobrunner: %s\nsee jobrunner --help\n", problem.c_str());
  return kExitUsage;
}

struct Options {
  bool help = false, version = false, check = false, edit = false, history = false, json = false;
  bool force = false, strict = false, status = false, graph = false, downstream = false;
  bool batch_file = false, credential = false;
  bool schedule = false, unschedule = false, dry_run = false, jobs = false, ignore_calendar = false;
  std::optional<std::string> root;  // --root DIR
  std::string prune;
  std::optional<std::string> run;  // --run RUNID of --graph
  std::optional<RerunOption> rerun;
  std::vector<std::string> words;
};

// Runs what the option form asks for.
int RunOptions(const Options& options, size_t prune_count) {
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return kExitNoErrors;
  }
  if (options.version) {
    std::printf("jobrunner %s\n", kVersion);
    return kExitNoErrors;
  }
  if (options.force && !options.rerun) return Usage("--force belongs to --rerun");
  if (options.downstream && !options.rerun) return Usage("--downstream belongs to --rerun");
  if (options.strict && !options.check) return Usage("--strict belongs to --check");
  if (options.run && !options.graph) return Usage("--run belongs to --graph");
  if (options.dry_run && !options.schedule) return Usage("--dry-run belongs to --schedule");
  if (options.root && !(options.schedule || options.unschedule || options.jobs || options.check)) {
    return Usage("--root belongs to --schedule, --unschedule, --jobs and --check");
  }
  if (options.root && options.root->find_first_not_of(' ') == std::string::npos) {
    return Usage("--root needs the folder of an image root");
  }
  const std::string root = options.root.value_or("");
  const bool other = options.check || options.history || options.rerun || options.status ||
                     options.graph || options.strict || options.run || prune_count ||
                     options.batch_file || options.credential;
  if (options.schedule || options.unschedule) {
    if (other || options.json || options.jobs || options.ignore_calendar ||
        (options.schedule && options.unschedule) ||
        Joined(options.words).find_first_not_of(' ') == std::string::npos) {
      return Usage(options.schedule ? "--schedule takes --dry-run, --root DIR and a job file"
                                    : "--unschedule takes --root DIR and a job file");
    }
    if (options.schedule) return ScheduleCommand(Joined(options.words), options.dry_run, root);
    return UnscheduleCommand(Joined(options.words), root);
  }
  if (options.jobs) {
    if (other || options.ignore_calendar || !options.words.empty()) {
      return Usage("--jobs takes --json and --root DIR only");
    }
    return JobsCommand(options.json, root);
  }
  if (options.ignore_calendar) {
    const std::string job_file = Joined(options.words);
    if ((other && !options.rerun) || options.json || options.check ||
        job_file.find_first_not_of(' ') == std::string::npos) {
      return Usage("--ignore-calendar takes a job file, and --rerun RUNID with it");
    }
    return RunFromCommandLine(job_file, options.rerun, true);
  }
  if (options.credential) {
    const std::vector<std::string>& words = options.words;
    const std::string action = words.empty() ? std::string() : words.front();
    const bool named = action == "set" || action == "remove";
    if (options.check || options.history || options.rerun || options.status || options.graph ||
        options.json || options.strict || options.run || prune_count || options.batch_file ||
        !((named && words.size() == 2) || (action == "list" && words.size() == 1))) {
      return Usage("--credential takes set NAME, list or remove NAME");
    }
    if (named && !IsCredentialName(words[1])) {
      return Usage(
          "a credential's name is 1 to 64 of A-Z a-z 0-9 . _ - and does not start "
          "with a dot");
    }
    return CredentialCommand(action, named ? words[1] : std::string());
  }
  if (options.batch_file) {
    if (options.check || options.history || options.rerun || options.status || options.graph ||
        options.json || options.strict || options.run || prune_count || options.words.empty() ||
        options.words.size() > 2) {
      return Usage("--batch-file takes a job file and, to write it to, an output file");
    }
    if (options.words.size() == 1) return BatchFileCommand(options.words[0], std::nullopt);
    return BatchFileCommand(options.words[0], options.words[1]);
  }
  if (options.graph) {
    if (options.check || options.history || options.rerun || options.status || options.json ||
        options.strict || prune_count) {
      return Usage("--graph takes a job file and --run RUNID only");
    }
    if (options.run && options.run->find_first_not_of(' ') == std::string::npos) {
      return Usage("--run needs the id of a run (see --history JOBFILE)");
    }
    const std::string job_file = Joined(options.words);
    if (job_file.find_first_not_of(' ') == std::string::npos) {
      return Usage("--graph needs a job file");
    }
    return RunGraphCommand(job_file, options.run.value_or(""));
  }
  if (options.status) {
    if (options.check || options.history || options.rerun || prune_count) {
      return Usage("--status takes a job file and --json only");
    }
    if (options.words.empty()) return RunStatusCommand(std::nullopt, options.json);
    return RunStatusCommand(Joined(options.words), options.json);
  }
  if (options.check) {
    if (options.history || options.json || prune_count)
      return Usage("--check takes a job file only");
    if (Joined(options.words).find_first_not_of(' ') == std::string::npos) {
      return Usage("--check needs a job file");
    }
    return RunCheck(options.words, options.rerun, options.strict, root);
  }
  if (options.rerun) {
    if (options.history || options.json || prune_count) {
      return Usage("--rerun RUNID takes a job file only");
    }
    if (options.rerun->run_id.find_first_not_of(' ') == std::string::npos) {
      return Usage("--rerun needs the id of a run (see --history JOBFILE)");
    }
    const std::string job_file = Joined(options.words);
    if (job_file.find_first_not_of(' ') == std::string::npos) {
      return Usage("--rerun RUNID needs a job file");
    }
    return RunFromCommandLine(job_file, options.rerun);
  }
  if (!options.history) return Usage("--json and --prune belong to --history");
  if (prune_count) {
    const std::string& days = options.prune;
    if (options.words.size() > 1 || options.json) {
      return Usage("--prune DAYS takes a job file only");
    }
    if (days.empty() || days.size() > 6 ||
        !std::all_of(days.begin(), days.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return Usage("DAYS of --prune must be a whole number of days, 0 or more");
    }
    if (options.words.empty()) return PruneHistoryCommand(std::stoi(days), std::nullopt);
    return PruneHistoryCommand(std::stoi(days), options.words.front());
  }
  if (options.words.empty() || options.words.size() > 2) {
    return Usage("--history takes a job file and, for one run, its run id");
  }
  std::optional<std::string> run_id;
  if (options.words.size() == 2) run_id = options.words[1];
  return RunHistoryCommand(options.words[0], run_id, options.json);
}

}  // namespace

std::string UsageText() {
  return "Usage: jobrunner [JOBFILE]\n"
         "       jobrunner --edit [JOBFILE]\n"
         "       jobrunner --check [--strict] [--root DIR] [--rerun RUNID [--downstream]] JOBFILE\n"
         "       jobrunner --rerun RUNID [--force] [--downstream] JOBFILE\n"
         "       jobrunner --history JOBFILE [RUNID] [--json]\n"
         "       jobrunner --history --prune DAYS [JOBFILE]\n"
         "       jobrunner --status [JOBFILE] [--json]\n"
         "       jobrunner --graph JOBFILE [--run RUNID]\n"
         "       jobrunner --batch-file JOBFILE [OUTFILE]\n"
         "       jobrunner --credential set NAME | list | remove NAME\n"
         "       jobrunner --schedule [--dry-run] [--root DIR] JOBFILE\n"
         "       jobrunner --unschedule [--root DIR] JOBFILE\n"
         "       jobrunner --jobs [--json] [--root DIR]\n"
         "       jobrunner --ignore-calendar [--rerun RUNID] JOBFILE\n"
         "       jobrunner --help | -h | --version\n"
         "\n"
         "Without arguments the job editor window opens. With a job file the job runs\n"
         "unattended, writes its reports and ends; the words after the program name are\n"
         "joined with single blanks into the job file name. --edit opens the editor with\n"
         "the job file loaded instead.\n"
         "\n"
         "--check JOBFILE   prints the job as JSON and runs nothing; what a run would\n"
         "                  meet before its first line is named as warnings.\n"
         "--strict          with --check: exit status 1 when it named any of those.\n"
         "--root DIR        with --check: the installed timer it compares the job's\n"
         "                  schedule with is the one in the image root DIR.\n"
         "--rerun RUNID JOBFILE\n"
         "                  runs the job again without the lines that succeeded in run\n"
         "                  RUNID; refused when the job file changed since, unless\n"
         "                  --force. With --check: which lines it would run.\n"
         "--downstream      with --rerun: also the lines that wait, directly or through\n"
         "                  others, for a line it runs again.\n"
         "--history JOBFILE\n"
         "                  the job's last 20 runs, newest first; with RUNID that run's\n"
         "                  lines; --json prints them as JSON for scripts.\n"
         "--history --prune DAYS [JOBFILE]\n"
         "                  deletes the runs that started more than DAYS days ago, with\n"
         "                  their rows, of the job or of every job (a monthly cron line\n"
         "                  keeps the database small).\n"
         "--status [JOBFILE]\n"
         "                  the runs going on now, of the job or of every job, with the\n"
         "                  state of each job line; --json prints them as JSON.\n"
         "--graph JOBFILE [--run RUNID]\n"
         "                  prints the job's lines, waits, skips and repeats as a graph in\n"
         "                  the DOT language (for dot -Tsvg); with --run, its nodes are\n"
         "                  coloured by that run's outcomes.\n"
         "--batch-file JOBFILE [OUTFILE]\n"
         "                  writes the script that the editor's Make Batch File writes\n"
         "                  (for cron) to OUTFILE, or prints it without one.\n"
         "--credential set NAME | list | remove NAME\n"
         "                  keeps a password in the credential folder, for a job line's\n"
         "                  option word @cred:NAME: set reads it from standard input (not\n"
         "                  shown at a terminal), list names them (never their values)\n"
         "                  with owner, mode and whether a run can use each.\n"
         "--schedule JOBFILE\n"
         "                  installs the job's Schedule as a systemd service and timer\n"
         "                  (/etc/systemd/system as root, else the user's own) and starts\n"
         "                  the timer; --dry-run prints them, --root DIR writes them into\n"
         "                  an image root. Run it again after changing the schedule.\n"
         "--unschedule JOBFILE\n"
         "                  disables and removes the job's service and timer.\n"
         "--jobs            every job with runs in the history or a timer: its schedule,\n"
         "                  next run, last run, usual duration; --json for scripts.\n"
         "--ignore-calendar JOBFILE\n"
         "                  runs the job also on a day off of its Calendar file.\n";
}

std::optional<int> RunCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return std::nullopt;
  const std::string& first = args.front();
  // Started by the runner's watchdog, never typed: the usage leaves it out.
  if (first == "--interrupted" && args.size() == 3) return RunInterruptedCommand(args[1], args[2]);
  if (std::find(std::begin(kOptionWords), std::end(kOptionWords), first) ==
      std::end(kOptionWords)) {
    const std::string joined = Joined(args);
    // A command line of blanks only opens the window, as an empty one does.
    if (joined.find_first_not_of(' ') == std::string::npos) return std::nullopt;
    return RunFromCommandLine(joined);
  }

  Options options;
  CLI::App app("Extraction Job Runner", "jobrunner");
  app.set_help_flag();
  app.add_flag("-h,--help", options.help);
  app.add_flag("--version", options.version);
  app.add_flag("--check", options.check);
  app.add_flag("--edit", options.edit);
  app.add_flag("--history", options.history);
  app.add_flag("--json", options.json);
  app.add_flag("--status", options.status);
  app.add_flag("--graph", options.graph);
  app.add_flag("--batch-file", options.batch_file);
  app.add_flag("--credential", options.credential);
  app.add_flag("--schedule", options.schedule);
  app.add_flag("--unschedule", options.unschedule);
  app.add_flag("--dry-run", options.dry_run);
  app.add_flag("--jobs", options.jobs);
  app.add_flag("--ignore-calendar", options.ignore_calendar);
  std::string root_folder;
  CLI::Option* root = app.add_option("--root", root_folder);
  std::string graph_run;
  CLI::Option* run = app.add_option("--run", graph_run);
  CLI::Option* prune = app.add_option("--prune", options.prune);
  std::string rerun_id;
  CLI::Option* rerun = app.add_option("--rerun", rerun_id);
  app.add_flag("--force", options.force);
  app.add_flag("--downstream", options.downstream);
  app.add_flag("--strict", options.strict);
  app.add_option("words", options.words);
  // CLI11 takes the words last to first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    return Usage(error.what());
  }
  if (rerun->count()) options.rerun = RerunOption{rerun_id, options.force, options.downstream};
  if (run->count()) options.run = graph_run;
  if (root->count()) options.root = root_folder;
  if (options.edit) {
    if (options.check || options.history || options.json || prune->count() || options.rerun ||
        options.force || options.downstream || options.strict || options.status || options.graph ||
        options.run || options.batch_file || options.credential || options.schedule ||
        options.unschedule || options.dry_run || options.jobs || options.ignore_calendar ||
        options.root) {
      return Usage("--edit takes a job file only");
    }
    // The window opens; EditorJobFile names the file it loads.
    return std::nullopt;
  }
  return RunOptions(options, prune->count());
}

std::optional<std::string> EditorJobFile(const std::vector<std::string>& args) {
  if (args.empty() || args.front() != "--edit") return std::nullopt;
  std::string joined;
  for (size_t i = 1; i < args.size(); ++i) {
    if (i > 1) joined += ' ';
    joined += args[i];
  }
  return joined.find_first_not_of(' ') == std::string::npos ? std::string() : joined;
}

}  // namespace jr
