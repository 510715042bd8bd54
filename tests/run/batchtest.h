// Batch mode as a scheduler runs it: the program started as a process in a
// test folder of its own, without a display, with its settings there too.
#pragma once

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>
#include <regex>

struct Outcome {
    int status = -1; // -1: killed, for instance after hanging past its time
    std::string errors; // what the program wrote to standard error
    std::string output; // and to standard output
};

using Environment = std::vector<std::pair<std::string, std::string>>;

class Batch : public ::testing::Test {
protected:
    // Runs the program with ARGUMENTS in the test's folder, as cron would,
    // with ENVIRONMENT added. A run that hangs is killed after a minute and
    // fails instead.
    // WHILE_RUNNING gets the program's process once it is started.
    Outcome run(const std::vector<std::string>& arguments, const Environment& environment = {},
        const std::function<void(pid_t)>& whileRunning = {})
    {
        const std::string errors = dir / "stderr.txt";
        const std::string output = dir / "stdout.txt";
        const int status = testsupport::runProgram(
            VESTRELLE_PROGRAM, arguments, dir.path(), dir / "config", errors, 60, environment, output, whileRunning);
        return { status, testsupport::readFile(errors), testsupport::readFile(output) };
    }

    // A copy set from SOURCE to DESTINATION with subfolders and nothing else;
    // EXTRA lines after the twelve override them.
    void writeCopySet(const std::string& path, const std::string& source, const std::string& destination,
        const std::string& extra = std::string())
    {
        testsupport::writeFile(path,
            "cmbSrc\t" + source + "\r\ncmbDst\t" + destination + "\r\nchkSubDir\t1\r\nchkIgn\t0\r\neditIgn\t\r\n"
                + "chkMakeDir\t0\r\nchkFilter\t0\r\nlbFilterKind\t\r\nlbFilter\t\r\nreg\tGradation\t0\r\n"
                + "reg\tBGPicture\t\r\nreg\tLabelColor\t0\r\n" + extra);
    }

    // The log's lines (each must end in CR LF).
    std::vector<std::string> logLines(const std::string& path)
    {
        const std::string text = testsupport::readFile(path);
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < text.size()) {
            const size_t end = text.find("\r\n", start);
            if (end == std::string::npos) {
                ADD_FAILURE() << "log line without CR LF: " << text.substr(start);
                break;
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    testsupport::TempDir dir;
    std::string src = dir / "src";
    std::string dst = dir / "dst";
};

// The time stamp that starts a start, end or copied-file line.
inline const std::regex kStamp("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2} ");
