-- The template database that start-up copies into a fresh data folder. The program itself
-- never creates or alters tables.

-- Large pages: the store is written in bulk and read in long runs, and a page holds fewer
-- bytes of bookkeeping per row.
PRAGMA page_size = 65536;

-- One reading per row, the rowids in the order of the log's lines. Time is an OLE Automation
-- date (days since 1899-12-30, the fraction is the time of day); 65535 in a value column means
-- the reading has no value there.
CREATE TABLE Records (
    Time REAL,
    Temperature REAL,
    Humidity INTEGER,
    Dewpoint REAL,
    Heatindex REAL
);
-- The graph's range queries walk this index in time order and read each row from the table,
-- which lies in the same order for a log written forwards. Time alone keeps a row at about 60
-- bytes; the index is dropped at the start of an import and built after its rows.
CREATE INDEX RecordsByTime ON Records (Time);

-- Emptied together with Records by every import; nothing reads or writes its columns.
CREATE TABLE Param (
    Name TEXT,
    Value TEXT
);
