-- The template database that start-up copies into a fresh data folder. The program itself
-- never creates or alters tables.

-- One reading per row. Time is an OLE Automation date (days since 1899-12-30, the fraction is
-- the time of day); 65535 in a value column means the reading has no value there.
CREATE TABLE Records (
    Time REAL,
    Temperature REAL,
    Humidity INTEGER,
    Dewpoint REAL,
    Heatindex REAL
);
-- The graph counts and selects rows by time range and reads every column of them: with all
-- columns in the index those queries never visit the table.
CREATE INDEX RecordsByTime ON Records (Time, Temperature, Humidity, Dewpoint, Heatindex);

-- Emptied together with Records by every import; nothing reads or writes its columns.
CREATE TABLE Param (
    Name TEXT,
    Value TEXT
);
