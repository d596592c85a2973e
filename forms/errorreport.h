// SPDX-License-Identifier: MIT
#pragma once
// The error report of the guarded handlers, and the guard that runs their
// numbered statements: a failing statement is reported with its line number
// and the handler resumes with the next statement.
#include "formserror.h"

#include <QString>
#include <exception>

class Form;

// Address shown in every report.
inline const QString kSupportAddress = QStringLiteral("support@orbenvale.org");

QString ErrorReportText(const QString &description, const QString &location, int line);
void ShowErrorReport(Form &form, const QString &description, const QString &location, int line);

class Guard {
public:
    Guard(Form &form, QString location) : form_(form), location_(std::move(location)) {}

    // Runs one statement; true when it did not fail.
    template <class F> bool run(int line, F &&statement)
    {
        try {
            statement();
            return true;
        } catch (const FormsError &e) {
            report(line, e.Description);
        } catch (const std::exception &e) {
            report(line, QString::fromLocal8Bit(e.what()));
        }
        return false;
    }

    // Evaluates the test of a branch or loop. A test that fails is reported
    // and counts as passed: execution goes on into the body it guards.
    template <class F> bool test(int line, F &&condition)
    {
        bool result = true;
        run(line, [&] { result = condition(); });
        return result;
    }

private:
    void report(int line, const QString &description);

    Form &form_;
    QString location_;
};
