/* A C host of the XML library: parses argv[1] and prints the root's name and
 * its child count, to show that ezxml.h and the library serve C as they are. */
#include <stdio.h>
#include <string.h>
#include <stdlib.h>

#include "ezxml.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  size_t length = strlen(argv[1]);
  char* text = malloc(length + 1);
  if (text == NULL) return 1;
  memcpy(text, argv[1], length + 1);
  ezxml_node* root = ezxml_parse_str(text, length);
  int children = 0;
  for (ezxml_node* child = root != NULL ? root->child : NULL; child != NULL; child = child->ordered) ++children;
  if (root == NULL || ezxml_parse_status(root, NULL) != EZXML_PARSE_COMPLETE || ezxml_error(root)[0] != '\0') return 1;
  printf("%s %d\n", root->name, children);
  ezxml_free(root);
  free(text);
  return 0;
}
