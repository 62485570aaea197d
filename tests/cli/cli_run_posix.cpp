#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "tests/cli/cli_run.h"

static int ExitStatus(int wstatus) {
  if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) return 128 + WTERMSIG(wstatus);
  return -1;
}

static std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  lseek(fd, 0, SEEK_SET);
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
  return text;
}

// Output goes to unlinked temporary files, which never fill up as a pipe can.
CliRun RunCli(const std::vector<std::string>& args) {
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  std::vector<char*> argv;
  std::string program = ORVALINTEX_CLI;
  argv.push_back(&program[0]);
  std::vector<std::string> copies(args);
  for (std::string& a : copies) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  CliRun run = {ExitStatus(wstatus), ReadAll(fileno(out)), ReadAll(fileno(err))};
  std::fclose(out);
  std::fclose(err);
  return run;
}
