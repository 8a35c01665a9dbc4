/* Processing instructions, the XML declaration and the internal DTD subset:
 * general and parameter entities, attribute-list defaults. Nothing external
 * is ever loaded. */
#include "ezxml_internal.h"

#include <stdlib.h>
#include <string.h>

static char type_cdata[] = EZXML_TYPE_CDATA;
static char type_token[] = EZXML_TYPE_TOKEN;

static int is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

static char *skip_space(char *s) {
    while (is_space(*s)) ++s;
    return s;
}

static size_t table_pairs(char **table) {
    size_t n = 0;
    while (table[2 * n]) ++n;
    return n;
}

/* Appends name/value to a NULL-ended pair table; 0 when out of memory. A
 * table at fixed (the document record's own) moves to the heap. */
static int table_append(char ***table, char **fixed, char *name, char *value) {
    size_t n = table_pairs(*table);
    char **grown;
    if (n > ((size_t)-1) / (2 * sizeof(char *)) - 2) return 0;
    if (*table == fixed) {
        grown = (char **)ezxml_malloc((2 * n + 3) * sizeof(char *));
        if (grown) memcpy(grown, fixed, 2 * n * sizeof(char *));
    } else {
        grown = (char **)ezxml_realloc(*table, (2 * n + 3) * sizeof(char *));
    }
    if (!grown) return 0;
    grown[2 * n] = name;
    grown[2 * n + 1] = value;
    grown[2 * n + 2] = NULL;
    *table = grown;
    return 1;
}

static char **entity_lookup(char **table, const char *text, size_t *index) {
    size_t i;
    for (i = 0; table[2 * i]; ++i) {
        const char *n = table[2 * i], *t = text;
        while (*n && *n == *t) ++n, ++t;
        if (!*n) {
            *index = i;
            return table + 2 * i;
        }
    }
    return NULL;
}

/* Follows the references of value through the table. Each entity is looked
 * at once (a second visit cannot find anything new), so a deeply shared
 * definition costs no more than its size, and the walk keeps its own stack. */
int ezxml_entity_acyclic(const char *name, const char *value, char **entities) {
    size_t n = table_pairs(entities), depth = 0, name_len = strlen(name);
    unsigned char *seen;
    const char **stack;
    const char *p = value;
    int result = 1;
    seen = (unsigned char *)ezxml_malloc(n + 1);
    stack = (const char **)ezxml_malloc((n + 1) * sizeof *stack);
    if (!seen || !stack) {
        free(seen);
        free((void *)stack);
        return 0; /* cannot tell: refuse */
    }
    memset(seen, 0, n + 1);
    for (;;) {
        size_t idx;
        char **entry;
        p = strchr(p, '&');
        if (!p) {
            if (!depth) break;
            p = stack[--depth];
            continue;
        }
        ++p;
        if (strncmp(p, name, name_len) == 0) {
            result = 0;
            break;
        }
        entry = entity_lookup(entities, p, &idx);
        if (!entry || seen[idx] || !entry[1]) continue;
        seen[idx] = 1;
        stack[depth++] = p;
        p = entry[1];
    }
    free(seen);
    free((void *)stack);
    return result;
}

int ezxml_record_pi_checked(ezxml_root *root, char *start, size_t length) {
    char *target = start, *text, *p, **list, *pos;
    char ***table;
    size_t lists = 0, k, count;
    start[length] = '\0';
    for (p = start; *p && !is_space(*p); ++p) {
    }
    if (*p) *p++ = '\0';
    text = skip_space(p);

    if (strcmp(target, "xml") == 0) {
        char *q = strstr(text, "standalone");
        if (q) {
            q += 10;
            while (is_space(*q) || *q == '=' || *q == '"' || *q == '\'') ++q;
            if (strncmp(q, "yes", 3) == 0) root->standalone = 1;
        }
        return 1;
    }

    table = root->instructions;
    if (table != (char ***)EZXML_EMPTY_LIST)
        for (; table[lists] && strcmp(table[lists][0], target) != 0; ++lists) {
        }
    if (table == (char ***)EZXML_EMPTY_LIST || !table[lists]) {
        /* A new target: target, NULL, empty position string. */
        char ***grown;
        char **fresh = (char **)ezxml_malloc(3 * sizeof(char *));
        char *positions = (char *)ezxml_malloc(1);
        if (table == (char ***)EZXML_EMPTY_LIST) table = NULL;
        grown = fresh && positions ? (char ***)ezxml_realloc(table, (lists + 2) * sizeof(char **)) : NULL;
        if (!grown) {
            free(fresh);
            free(positions);
            return 0;
        }
        positions[0] = '\0';
        fresh[0] = target;
        fresh[1] = NULL;
        fresh[2] = positions;
        grown[lists] = fresh;
        grown[lists + 1] = NULL;
        root->instructions = table = grown;
    }

    list = table[lists];
    for (count = 0; list[count + 1]; ++count) {
    }
    pos = list[count + 2];
    {
        char *pos_grown = (char *)ezxml_realloc(pos, count + 2);
        char **list_grown;
        if (!pos_grown) return 0;
        list[count + 2] = pos_grown;
        pos_grown[count] = '\0';
        list_grown = (char **)ezxml_realloc(list, (count + 4) * sizeof(char *));
        if (!list_grown) return 0;
        k = count + 1;
        list_grown[k] = text;
        list_grown[k + 1] = NULL;
        list_grown[k + 2] = pos_grown;
        pos_grown[count] = root->node.name ? '>' : '<';
        pos_grown[count + 1] = '\0';
        table[lists] = list_grown;
    }
    return 1;
}

void ezxml_record_pi(ezxml_root *root, char *start, size_t length) {
    (void)ezxml_record_pi_checked(root, start, length);
}

/* Appends (attribute, default, type) to the element's default list. */
static int add_default(ezxml_root *root, const char *element, char *attr, char *value, char *type) {
    char ***table = root->attr_defaults, **list, **grown;
    size_t lists = 0, len;
    if (table != (char ***)EZXML_EMPTY_LIST)
        for (; table[lists] && strcmp(table[lists][0], element) != 0; ++lists) {
        }
    if (table == (char ***)EZXML_EMPTY_LIST || !table[lists]) {
        char ***tgrown;
        char **fresh = (char **)ezxml_malloc(2 * sizeof(char *));
        if (!fresh) return 0;
        tgrown = (char ***)ezxml_realloc(table == (char ***)EZXML_EMPTY_LIST ? NULL : table,
                                         (lists + 2) * sizeof(char **));
        if (!tgrown) {
            free(fresh);
            return 0;
        }
        fresh[0] = (char *)element;
        fresh[1] = NULL;
        tgrown[lists] = fresh;
        tgrown[lists + 1] = NULL;
        root->attr_defaults = table = tgrown;
    }
    list = table[lists];
    for (len = 1; list[len]; len += 3) {
    }
    grown = (char **)ezxml_realloc(list, (len + 4) * sizeof(char *));
    if (!grown) return 0;
    grown[len] = attr;
    grown[len + 1] = value;
    grown[len + 2] = type;
    grown[len + 3] = NULL;
    table[lists] = grown;
    return 1;
}

int ezxml_read_dtd_budget(ezxml_root *root, char *s, size_t length, size_t *budget) {
    char *const start = s, *const limit = s + length;
    char **pe;
    int ok = 1;
    size_t i;
    s[length] = '\0';
    if (!root->work_start) {
        /* A subset read outside a parse: its text is the work text. */
        root->work_start = start;
        root->work_end = limit + 1;
    }
    pe = (char **)ezxml_malloc(sizeof(char *));
    if (!pe) return 0;
    pe[0] = NULL;

    for (;;) {
        while (*s && *s != '<' && *s != '%') ++s;
        if (!*s) break;

        if (strncmp(s, "<!ENTITY", 8) == 0) {
            char *name, *v, *value, *close, *decoded;
            char ***table;
            char quote;
            int param, last = 0;
            s = skip_space(s + 8);
            param = *s == '%';
            while (is_space(*s) || *s == '%') ++s;
            name = s;
            while (*s && !is_space(*s)) ++s;
            if (!*s) break; /* the name runs to the end of the subset */
            *s++ = ';';
            v = skip_space(s);
            if (*v != '"' && *v != '\'') {
                s = strchr(v, '>'); /* external entity: skipped */
                if (!s) break;
                continue;
            }
            quote = *v;
            *s = '\0'; /* ends the name behind its ";" */
            value = v + 1;
            close = strchr(value, quote);
            if (close) {
                *close = '\0';
                s = close + 1;
            } else {
                s = limit;
                last = 1;
            }
            table = param ? &pe : &root->entities;
            decoded = ezxml_decode_n(value, pe, EZXML_MODE_ENTITY, budget, NULL);
            if (!decoded) {
                ok = 0;
                break;
            }
            if (!ezxml_entity_acyclic(name, decoded, *table)) {
                if (decoded != value) free(decoded);
                break;
            }
            if (!table_append(table, ezxml_inline_entities(root), name, decoded)) {
                if (decoded != value) free(decoded);
                ok = 0;
                break;
            }
            if (last) break;
        } else if (strncmp(s, "<!ATTLIST", 9) == 0) {
            char *element;
            int end_all = 0;
            s = skip_space(s + 9);
            if (!*s) break;
            element = s;
            while (*s && !is_space(*s) && *s != '>') ++s;
            if (*s == '>') continue; /* an empty declaration */
            if (!*s) break;
            *s++ = '\0';
            for (;;) {
                char *attr, *value = NULL, *type;
                s = skip_space(s);
                if (!*s) {
                    end_all = 1;
                    break;
                }
                if (*s == '>') break;
                attr = s;
                while (*s && !is_space(*s)) ++s;
                if (!*s) {
                    end_all = 1;
                    break;
                }
                *s++ = '\0';
                s = skip_space(s);
                type = strncmp(s, "CDATA", 5) == 0 ? type_cdata : type_token;
                if (strncmp(s, "NOTATION", 8) == 0) s = skip_space(s + 8);
                if (*s == '(') {
                    s = strchr(s, ')');
                    if (!s) {
                        end_all = 1;
                        break;
                    }
                } else {
                    while (*s && !is_space(*s)) ++s;
                }
                while (is_space(*s) || *s == ')') ++s;
                if (strncmp(s, "#FIXED", 6) == 0) s = skip_space(s + 6);

                if (*s == '#') {
                    /* #REQUIRED, #IMPLIED: no default. */
                    while (*s && !is_space(*s) && *s != '>') ++s;
                    if (type == type_cdata) continue;
                } else if (*s == '"' || *s == '\'') {
                    const char quote = *s;
                    char *close = strchr(s + 1, quote);
                    if (!close) {
                        end_all = 1;
                        break;
                    }
                    *close = '\0';
                    value = ezxml_decode_n(s + 1, root->entities, type[0], budget, NULL);
                    s = close + 1;
                    if (!value) {
                        ok = 0;
                        end_all = 1;
                        break;
                    }
                } else {
                    break; /* ends this declaration; reading goes on here */
                }
                if (!add_default(root, element, attr, value, type)) {
                    if (value && (value < start || value > limit)) free(value);
                    ok = 0;
                    end_all = 1;
                    break;
                }
            }
            if (end_all) break;
        } else if (strncmp(s, "<!--", 4) == 0) {
            s = strstr(s + 4, "-->");
            if (!s) break;
            s += 3;
        } else if (strncmp(s, "<?", 2) == 0) {
            char *close = strstr(s + 2, "?>");
            if (!close) break;
            if (!ezxml_record_pi_checked(root, s + 2, (size_t)(close - (s + 2)))) {
                ok = 0;
                break;
            }
            s = close + 2;
        } else if (*s == '<') {
            s = strchr(s, '>');
            if (!s) break;
            ++s;
        } else {
            /* A parameter-entity reference between declarations. */
            if (!root->standalone) break;
            ++s;
        }
    }

    for (i = 0; pe[2 * i]; ++i)
        if (pe[2 * i + 1] < start || pe[2 * i + 1] > limit) free(pe[2 * i + 1]);
    free(pe);
    return ok;
}

void ezxml_read_dtd(ezxml_root *root, char *start, size_t length) {
    size_t budget = ezxml_default_budget(length);
    (void)ezxml_read_dtd_budget(root, start, length, &budget);
}
