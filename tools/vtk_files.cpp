#include "tools/vtk_files.h"

#include "sim/measure/cell_fields.h"
#include "sim/flow/fluid_solver.h"

#include <QDir>
#include <QLocale>
#include <QSaveFile>
#include <QSysInfo>

#include <cstring>
#include <string>

namespace {

// Names carry the tick padded as the frames' do, so that they sort in order.
constexpr int tickWidth = 8;

// One array of the cells' values, in VTK's order: x fastest, then y up the
// picture (the grid's rows from the bottom), so that ParaView shows the run
// the right way up. k = i*ny + j is the grid's order, j down.
struct CellArray {
    std::string name;
    std::string type;  // "Float64" or "UInt8"
    int components;
    std::string bytes;
};

template <typename Value>
void append(std::string& bytes, Value value)
{
    char raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    bytes.append(raw, sizeof value);
}

template <typename Value, typename ValueAt>
CellArray cellArray(const char* name, const char* type, int components, uint32_t nx, uint32_t ny, ValueAt valueAt)
{
    CellArray array{name, type, components, {}};
    array.bytes.reserve(size_t(nx) * ny * components * sizeof(Value));
    for (uint32_t row = 0; row < ny; ++row)
        for (uint32_t i = 0; i < nx; ++i)
            for (int c = 0; c < components; ++c)
                append<Value>(array.bytes, Value(valueAt(size_t(i) * ny + (ny - 1 - row), c)));
    return array;
}

std::vector<CellArray> cellArrays(const FluidSolver& solver)
{
    const uint32_t nx = solver.nx, ny = solver.ny;
    std::vector<CellArray> arrays;
    // The velocity's y component up the picture, as ParaView's y axis.
    const CellVelocity velocity = cellVelocity(*solver.velocity);
    arrays.push_back(cellArray<double>("velocity", "Float64", 3, nx, ny, [&](size_t k, int c) {
        return c == 0 ? velocity.u[k] : c == 1 ? -velocity.v[k] : 0.0;
    }));
    for (CellField field : {CellField::speed, CellField::vorticity, CellField::pressure, CellField::temperature}) {
        const std::vector<double> values = cellValues(solver, field, &velocity);
        if (!values.empty())
            arrays.push_back(
                cellArray<double>(cellFieldName(field), "Float64", 1, nx, ny, [&](size_t k, int) { return values[k]; }));
    }
    if (solver.dye)
        arrays.push_back(cellArray<double>("dye", "Float64", 3, nx, ny, [&](size_t k, int c) {
            return solver.dye->channel[c].data[k];
        }));
    if (solver.liquid) {
        // Below 0 in the liquid: its 0 contour is the surface.
        const GridArray& levelSet = solver.liquid->levelSet();
        arrays.push_back(cellArray<double>("level set", "Float64", 1, nx, ny, [&](size_t k, int) {
            return levelSet.data[k];
        }));
    }
    const std::vector<uint8_t>& solid = solver.domain.solidCells();
    arrays.push_back(cellArray<uint8_t>("solid", "UInt8", 1, nx, ny, [&](size_t k, int) { return solid[k]; }));
    return arrays;
}

// The arrays' bytes are the machine's own.
const std::string byteOrder = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "LittleEndian" : "BigEndian";

// Shortest text that reads back to the same value.
std::string number(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest).toStdString();
}

bool writeWhole(const QString& path, const std::string& contents)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents.data(), qint64(contents.size())) == qint64(contents.size()) &&
           file.commit();
}

}  // namespace

VtkSeries::VtkSeries(const QString& folder) : folder(folder) {}

bool VtkSeries::write(const FluidSolver& solver, uint64_t tick, QString& failedPath)
{
    const std::vector<CellArray> arrays = cellArrays(solver);
    const std::string extent = "0 " + std::to_string(solver.nx) + " 0 " + std::to_string(solver.ny) + " 0 0";
    const std::string spacing = number(solver.dx);
    std::string xml = "<?xml version=\"1.0\"?>\n"
                      "<VTKFile type=\"ImageData\" version=\"1.0\" byte_order=\"" + byteOrder +
                      "\" header_type=\"UInt64\">\n"
                      "  <ImageData WholeExtent=\"" + extent + "\" Origin=\"0 0 0\" Spacing=\"" + spacing + " " +
                      spacing + " " + spacing + "\">\n"
                      "    <FieldData>\n"
                      "      <DataArray type=\"Float64\" Name=\"TimeValue\" NumberOfTuples=\"1\" format=\"ascii\">" +
                      number(double(tick) * solver.scene.timeStep) + "</DataArray>\n"
                      "    </FieldData>\n"
                      "    <Piece Extent=\"" + extent + "\">\n"
                      "      <CellData Scalars=\"pressure\" Vectors=\"velocity\">\n";
    uint64_t offset = 0;
    std::string appended;
    for (const CellArray& array : arrays) {
        xml += "        <DataArray type=\"" + array.type + "\" Name=\"" + array.name + "\" NumberOfComponents=\"" +
               std::to_string(array.components) + "\" format=\"appended\" offset=\"" + std::to_string(offset) + "\"/>\n";
        append<uint64_t>(appended, array.bytes.size());
        appended += array.bytes;
        offset += sizeof(uint64_t) + array.bytes.size();
    }
    xml += "      </CellData>\n    </Piece>\n  </ImageData>\n  <AppendedData encoding=\"raw\">\n   _";
    xml += appended;
    xml += "\n  </AppendedData>\n</VTKFile>\n";

    const QString name = QString("field-%1.vti").arg(tick, tickWidth, 10, QChar('0'));
    const QDir dir(folder);
    if (!writeWhole(dir.filePath(name), xml)) {
        failedPath = dir.filePath(name);
        return false;
    }
    written.push_back({double(tick) * solver.scene.timeStep, name});
    std::string collection = "<?xml version=\"1.0\"?>\n"
                             "<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"" + byteOrder + "\">\n"
                             "  <Collection>\n";
    for (const Entry& entry : written)
        collection += "    <DataSet timestep=\"" + number(entry.time) + "\" group=\"\" part=\"0\" file=\"" +
                      entry.file.toStdString() + "\"/>\n";
    collection += "  </Collection>\n</VTKFile>\n";
    if (!writeWhole(dir.filePath("flowbox.pvd"), collection)) {
        failedPath = dir.filePath("flowbox.pvd");
        return false;
    }
    return true;
}
