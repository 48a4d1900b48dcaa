#pragma once
// A run's fields as files ParaView opens: one VTK XML image (.vti) per tick
// written, the cells' values in binary, and a collection (.pvd) listing each
// with its time, so that ParaView plays the run.

#include <QString>

#include <cstdint>
#include <vector>

class FluidSolver;

class VtkSeries {
public:
    // Writes into folder, which exists.
    explicit VtkSeries(const QString& folder);

    // The solver's fields after tick `tick`, as folder/field-TICK.vti, and
    // the collection again with it. False, with the path, when a file
    // cannot be written.
    bool write(const FluidSolver& solver, uint64_t tick, QString& failedPath);

private:
    struct Entry {
        double time;
        QString file;
    };
    QString folder;
    std::vector<Entry> written;
};
