/* The shared and static libraries are assembled from the objects of the
 * layers; a target needs one source of its own. */
typedef int pavorm_library_assembled_from_layers;
