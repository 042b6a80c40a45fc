/* vrk as an HDF5 filter: the filter id and the layout of its cd_values.
 *
 * The plugin libvrk_hdf5.so (in HDF5_PLUGIN_PATH, or HDF5's default plugin
 * folder) codes each chunk of a dataset as one vrk image. This header holds
 * only constants, so that programs can ask for the filter, and other
 * implementations can read and write the same files.
 *
 * A chunk is one image. Its last dimension is the width; with the colour
 * flag and a last dimension of 3, the last two are width x 3 interleaved
 * samples. Every leading dimension stacks as rows: a chunk of n frames of
 * h x w is one image of n*h rows. The stacked height and the width must be
 * 32 to 65535. Element types: integers of 8 bits (grey or colour) or 16
 * bits (grey), unsigned or signed, in either byte order; signed samples are
 * stored with 2^(bits - 1) added (for 8 and 16 bits: the sign bit flipped),
 * which reading undoes. Anything else is refused when the dataset is
 * created. The plugin also makes itself a mandatory filter of the dataset,
 * so that a chunk it cannot code fails the write instead of being stored
 * raw.
 *
 * A compressed chunk is exactly a .vrk file of that image (8-bit grey, 9- to
 * 16-bit grey or 24-bit colour), samples in native order as vrk_encode takes
 * them.
 *
 * cd_values. The caller gives the first VRK_HDF5_USER_VALUES slots (fewer
 * is fine: a missing slot is 0); when the dataset is created the filter
 * replaces everything from VRK_HDF5_CD_ROWS on with what the dataset's type
 * and chunk shape say, VRK_HDF5_CD_VALUES slots in all. The layout of
 * version 1 never changes; another layout would have another version.
 *
 *   slot  set by    meaning
 *   0     caller    layout version: 1 (0 is taken as 1)
 *   1     caller    loss factor: 0 lossless, 1..12 lossy
 *   2     caller    fast: nonzero for prefix codes instead of arithmetic coding
 *   3     caller    graphics: nonzero for the graphics engine (near-lossless when lossy)
 *   4     caller    bits per sample to code: 0 the type's own (8 or 16); 9..16 for 16-bit
 *                   types, where a sample outside that range fails the write
 *   5     caller    colour: nonzero to read a last dimension of 3 as the channels
 *   6     filter    rows: the chunk's stacked height
 *   7     filter    width in pixels
 *   8     filter    channels: 1 grey, 3 colour
 *   9     filter    element size in bytes: 1 or 2
 *   10    filter    byte order of the stored type: 0 little-endian, 1 big-endian
 *   11    filter    signed: 1 when 2^(bits - 1) was added to every sample
 *   12    filter    bits per sample coded: 8..16
 */
#ifndef VRK_HDF5_FILTER_H
#define VRK_HDF5_FILTER_H

/* Provisional: taken from the range 32768..65535 that HDF5 leaves to
 * unregistered filters, until an id is registered with The HDF Group. */
#define VRK_HDF5_FILTER_ID 48001

#define VRK_HDF5_LAYOUT_VERSION 1

#define VRK_HDF5_CD_VERSION 0
#define VRK_HDF5_CD_LOSS_FACTOR 1
#define VRK_HDF5_CD_FAST 2
#define VRK_HDF5_CD_GRAPHICS 3
#define VRK_HDF5_CD_BITS 4
#define VRK_HDF5_CD_COLOUR 5
#define VRK_HDF5_CD_ROWS 6
#define VRK_HDF5_CD_WIDTH 7
#define VRK_HDF5_CD_CHANNELS 8
#define VRK_HDF5_CD_ELEMENT_SIZE 9
#define VRK_HDF5_CD_BIG_ENDIAN 10
#define VRK_HDF5_CD_SIGNED 11
#define VRK_HDF5_CD_CODED_BITS 12

/* The slots a caller gives, and all of them once the dataset exists. */
#define VRK_HDF5_USER_VALUES 6
#define VRK_HDF5_CD_VALUES 13

#endif /* VRK_HDF5_FILTER_H */
