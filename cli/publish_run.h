#pragma once
// varnel-convert --publish: the loaded records sent to a shared PostGIS database, run by run
// of the record table, and what the server made of them.
#include <memory>
#include <string>

#include "import/record.h"

class ServerPublisher;

class PublishRun {
public:
    PublishRun();
    ~PublishRun();

    // Connects (asking for a password on the terminal when the server wants one that neither the
    // string, PGPASSWORD nor ~/.pgpass gives) and readies the server's tables. False after saying
    // why on standard error; usageError tells a string that is no connection string.
    bool Open(const std::string& conninfo, bool& usageError);
    // Publishes the table's records; false after naming each file that could not be read again
    // or the batch that failed.
    bool Send(const RecordTable& table);
    // Whether the connection is still there for the next run of the table.
    bool Connected() const;
    // "published 12 records to USER@HOST, 3 already on the server" on standard output.
    std::string Summary() const;

private:
    std::unique_ptr<ServerPublisher> m_publisher;
};
