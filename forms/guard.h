// SPDX-License-Identifier: MIT
#pragma once
// "Report and resume": the guard that runs a handler's numbered statements.
// A failing statement is reported by the window with its line number and
// the handler goes on with the next statement.
#include "formserror.h"

#include <QString>
#include <exception>
#include <optional>

class Form;

// The title of a failure's report, and its text: the failure's description,
// the handler's location text and the line number, then (where the program
// gives one) what the player is asked to do about it.
inline const QString kFailureTitle = QStringLiteral("Application Error");
QString failureReportText(const QString &description, const QString &location, int line, const QString &request = {});

class Guard {
public:
    Guard(Form &form, QString location) : form_(form), location_(std::move(location)) {}

    // Runs one statement; true when it did not fail.
    template <class F> bool run(int line, F &&statement)
    {
        const std::optional<QString> failure = attempt(statement);
        if (failure)
            report(line, *failure);
        return !failure;
    }
    // Runs one statement as run() does, but a failure is not reported.
    template <class F> bool runQuietly(F &&statement) { return !attempt(statement); }

    // Evaluates the test of a branch or loop. A test that fails is reported
    // and counts as passed: execution goes on into the body it guards.
    template <class F> bool test(int line, F &&condition)
    {
        bool result = true;
        run(line, [&] { result = condition(); });
        return result;
    }

private:
    // The failure's description, if the statement failed.
    template <class F> static std::optional<QString> attempt(F &&statement)
    {
        try {
            statement();
            return std::nullopt;
        } catch (const FormsError &e) {
            return e.Description;
        } catch (const std::exception &e) {
            return QString::fromLocal8Bit(e.what());
        }
    }
    void report(int line, const QString &description);

    Form &form_;
    QString location_;
};
