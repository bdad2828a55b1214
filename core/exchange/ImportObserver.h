#pragma once

#include <cstddef>
#include <string>

namespace velmorant {

// What an import run meets and does, as it happens, for a report of the run (velmorant-cli
// check). Lines are numbered from 1 as an editor shows them; the header is line 1. Every call
// has an empty default, so an observer takes only what it reports. Called from the thread that
// runs the import.
class ImportObserver {
public:
    virtual ~ImportObserver() = default;

    // The run stopped before executing anything; `reason` is what the device shows or logs.
    virtual void Stopped(const std::string& reason) { (void)reason; }
    // The script's first line is one of the known headers; the 0003 one runs ToPDA.sql too.
    virtual void HeaderFound(const std::string& header, bool withCompanion) {
        (void)header;
        (void)withCompanion;
    }
    // A REPEAT line made `sql` the current template.
    virtual void TemplateStarted(std::size_t line, const std::string& sql) {
        (void)line;
        (void)sql;
    }
    // A data row's statement ran. A later StatementFailed() may name an earlier line: the
    // statements from that line on are then not in force (see BatchedStatements).
    virtual void RowExecuted(std::size_t line) { (void)line; }
    // A data row of `fields` fields is about to run with a template that names a field beyond
    // them: that placeholder goes into the statement as it is written.
    virtual void FieldsMissing(std::size_t line, std::size_t fields) {
        (void)line;
        (void)fields;
    }
    // An EXEC line is about to run `sql`.
    virtual void ExecMet(std::size_t line, const std::string& sql) {
        (void)line;
        (void)sql;
    }
    // A DEL (all false) or DELALL (all true) line set its cut-off date.
    virtual void DeleteMet(std::size_t line, bool all, const std::string& date) {
        (void)line;
        (void)all;
        (void)date;
    }
    // A SHOWMSGWND line added a message for the agent.
    virtual void MessageMet(std::size_t line, const std::string& text) {
        (void)line;
        (void)text;
    }
    // The statement of `line` failed with SQLite's `error`; the run stops.
    virtual void StatementFailed(std::size_t line, const std::string& error,
                                 const std::string& statement) {
        (void)line;
        (void)error;
        (void)statement;
    }
    // ToPDA.sql ran: `executed` of its `total` statements are in force; on a failure, the
    // failing one's number (from 1), SQLite's text and the statement. The run goes on.
    virtual void CompanionRan(std::size_t executed, std::size_t total, std::size_t failed,
                              const std::string& error, const std::string& statement) {
        (void)executed;
        (void)total;
        (void)failed;
        (void)error;
        (void)statement;
    }
    // A deletion of old documents (all: every state) removed the document `guid`.
    virtual void DocumentDeleted(bool all, const std::string& guid) {
        (void)all;
        (void)guid;
    }
    // The run got as far as "Загрузка завершена." and the LLD_Def statements.
    virtual void Finished() {}
};

}  // namespace velmorant
