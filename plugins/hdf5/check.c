/* vrk_hdf5_check FILE: what a C program does with the vrk filter through
 * HDF5's C API. Writes FILE with two datasets of the same 12-bit frames,
 * "/vrk" (the vrk filter, lossless) and "/gzip", reads "/vrk" back whole
 * and in a window across chunk edges, and checks that a float dataset is
 * refused when created. The file stays for the h5dump and h5repack tests.
 * Exits 0 when all is well. */
#include <hdf5.h>
#include <stdio.h>
#include <string.h>

#include <vrk/hdf5_filter.h>

enum { FRAMES = 3, ROWS = 64, COLS = 80 };

static unsigned short frames[FRAMES][ROWS][COLS];
static unsigned short back[FRAMES][ROWS][COLS];

static int fail(const char* what) {
    fprintf(stderr, "vrk_hdf5_check: %s\n", what);
    return 1;
}

/* A chunked dataset of the frames: two frames a chunk, so the last chunk is an edge chunk HDF5 pads. */
static hid_t create(hid_t file, const char* name, hid_t type, int use_vrk) {
    hsize_t dims[3] = {FRAMES, ROWS, COLS};
    hsize_t chunk[3] = {2, ROWS, COLS};
    /* Version 1, lossless, arithmetic coder, wavelet engine, 12 bits, grey. */
    const unsigned values[VRK_HDF5_USER_VALUES] = {VRK_HDF5_LAYOUT_VERSION, 0, 0, 0, 12, 0};
    hid_t space = H5Screate_simple(3, dims, NULL);
    hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
    H5Pset_chunk(dcpl, 3, chunk);
    if (use_vrk)
        H5Pset_filter(dcpl, VRK_HDF5_FILTER_ID, H5Z_FLAG_OPTIONAL, VRK_HDF5_USER_VALUES, values);
    else
        H5Pset_deflate(dcpl, 6);
    hid_t dataset = H5Dcreate2(file, name, type, space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
    H5Pclose(dcpl);
    H5Sclose(space);
    return dataset;
}

int main(int argc, char** argv) {
    if (argc != 2) return fail("usage: vrk_hdf5_check FILE");
    for (int f = 0; f < FRAMES; ++f)
        for (int y = 0; y < ROWS; ++y)
            for (int x = 0; x < COLS; ++x) frames[f][y][x] = (unsigned short)((f * 1000 + y * 37 + x * 11) % 4096);

    if (H5Zfilter_avail(VRK_HDF5_FILTER_ID) <= 0) return fail("the vrk filter is not available: set HDF5_PLUGIN_PATH");
    hid_t file = H5Fcreate(argv[1], H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    if (file < 0) return fail("cannot create the file");
    hid_t vrk = create(file, "vrk", H5T_STD_U16LE, 1);
    hid_t gzip = create(file, "gzip", H5T_STD_U16LE, 0);
    if (vrk < 0 || gzip < 0) return fail("cannot create the datasets");
    if (H5Dwrite(vrk, H5T_NATIVE_USHORT, H5S_ALL, H5S_ALL, H5P_DEFAULT, frames) < 0 ||
        H5Dwrite(gzip, H5T_NATIVE_USHORT, H5S_ALL, H5S_ALL, H5P_DEFAULT, frames) < 0)
        return fail("cannot write the frames");

    /* The filter made itself mandatory and filled in the chunk layout. */
    hid_t dcpl = H5Dget_create_plist(vrk);
    unsigned flags = 1, values[VRK_HDF5_CD_VALUES + 4];
    size_t count = VRK_HDF5_CD_VALUES + 4;
    if (H5Pget_filter_by_id2(dcpl, VRK_HDF5_FILTER_ID, &flags, &count, values, 0, NULL, NULL) < 0)
        return fail("the dataset has no vrk filter");
    H5Pclose(dcpl);
    if (flags != H5Z_FLAG_MANDATORY || count != VRK_HDF5_CD_VALUES || values[VRK_HDF5_CD_ROWS] != 2 * ROWS ||
        values[VRK_HDF5_CD_WIDTH] != COLS || values[VRK_HDF5_CD_ELEMENT_SIZE] != 2 ||
        values[VRK_HDF5_CD_CODED_BITS] != 12)
        return fail("unexpected flags or cd_values");
    H5Dclose(vrk);
    H5Dclose(gzip);
    H5Fclose(file);

    /* Read back from the file, whole and in a window across the chunk edge between frames 1 and 2. */
    file = H5Fopen(argv[1], H5F_ACC_RDONLY, H5P_DEFAULT);
    vrk = H5Dopen2(file, "vrk", H5P_DEFAULT);
    if (H5Dread(vrk, H5T_NATIVE_USHORT, H5S_ALL, H5S_ALL, H5P_DEFAULT, back) < 0) return fail("cannot read back");
    if (memcmp(back, frames, sizeof frames) != 0) return fail("the frames came back changed");
    hsize_t start[3] = {1, 50, 7}, size[3] = {2, 10, 20};
    unsigned short window[2][10][20];
    hid_t file_space = H5Dget_space(vrk);
    H5Sselect_hyperslab(file_space, H5S_SELECT_SET, start, NULL, size, NULL);
    hid_t memory_space = H5Screate_simple(3, size, NULL);
    if (H5Dread(vrk, H5T_NATIVE_USHORT, memory_space, file_space, H5P_DEFAULT, window) < 0)
        return fail("cannot read the window");
    for (int f = 0; f < 2; ++f)
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x)
                if (window[f][y][x] != frames[f + 1][y + 50][x + 7]) return fail("the window came back changed");
    H5Sclose(memory_space);
    H5Sclose(file_space);
    H5Dclose(vrk);
    H5Fclose(file);

    /* Floats are refused when the dataset is created, even with the filter optional. */
    H5E_auto2_t report;
    void* report_data;
    H5Eget_auto2(H5E_DEFAULT, &report, &report_data);
    H5Eset_auto2(H5E_DEFAULT, NULL, NULL);
    file = H5Fopen(argv[1], H5F_ACC_RDWR, H5P_DEFAULT);
    hid_t refused = create(file, "float", H5T_IEEE_F32LE, 1);
    H5Fclose(file);
    H5Eset_auto2(H5E_DEFAULT, report, report_data);
    if (refused >= 0) return fail("a float dataset was created with the vrk filter");
    puts("vrk_hdf5_check: written, read back and refused as expected");
    return 0;
}
