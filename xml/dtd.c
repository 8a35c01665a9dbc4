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

/* A NULL-ended pair table being appended to, with its pair count and the
 * pointer slots known to be allocated (0: not known, as for a table this
 * reader did not allocate). Room grows in powers of two, so n appends cost
 * O(n) in all. */
typedef struct {
    char ***table;
    size_t pairs, room;
} growing_table;

static growing_table growing(char ***table) {
    growing_table g;
    g.table = table;
    g.pairs = table_pairs(*table);
    g.room = 0;
    return g;
}

/* Appends name/value; 0 when out of memory. A table at fixed (the document
 * record's own) moves to the heap. */
static int table_append(growing_table *g, char **fixed, char *name, char *value) {
    const size_t n = g->pairs;
    char **t = *g->table;
    if (n > ((size_t)-1) / (4 * sizeof(char *)) - 2) return 0;
    if (2 * n + 3 > g->room) {
        size_t room = 8;
        char **grown;
        while (room < 2 * n + 3) room *= 2;
        if (t == fixed) {
            grown = (char **)ezxml_malloc(room * sizeof(char *));
            if (grown) memcpy(grown, fixed, 2 * n * sizeof(char *));
        } else {
            grown = (char **)ezxml_realloc(t, room * sizeof(char *));
        }
        if (!grown) return 0;
        *g->table = t = grown;
        g->room = room;
    }
    t[2 * n] = name;
    t[2 * n + 1] = value;
    t[2 * n + 2] = NULL;
    g->pairs = n + 1;
    return 1;
}

/* The cycle check's working storage, kept between the declarations of one
 * subset: marks for the entities visited (all clear between checks), the
 * walk's stack, the list of marks to clear, and the table's index. */
typedef struct {
    unsigned char *seen;
    const char **stack;
    size_t *visited;
    size_t room;
    ezxml_entity_index *ix; /* NULL: look names up by scanning */
    size_t steps;           /* references the checks may still follow */
} cycle_check;

static void cycle_check_release(cycle_check *c) {
    free(c->seen);
    free((void *)c->stack);
    free(c->visited);
}

/* Room for n entities; 0 when out of memory. */
static int cycle_check_fit(cycle_check *c, size_t n) {
    size_t room = c->room ? c->room : 16;
    unsigned char *seen;
    const char **stack;
    size_t *visited;
    if (n <= c->room) return 1;
    while (room < n) {
        if (room > ((size_t)-1) / (2 * sizeof(size_t))) return 0;
        room *= 2;
    }
    seen = (unsigned char *)ezxml_realloc(c->seen, room);
    if (!seen) return 0;
    memset(seen + c->room, 0, room - c->room);
    c->seen = seen;
    stack = (const char **)ezxml_realloc((void *)c->stack, room * sizeof *stack);
    if (!stack) return 0;
    c->stack = stack;
    visited = (size_t *)ezxml_realloc(c->visited, room * sizeof *visited);
    if (!visited) return 0;
    c->visited = visited;
    c->room = room;
    return 1;
}

/* Follows the references of value through the table of n pairs. Each entity
 * is looked at once (a second visit cannot find anything new), so a deeply
 * shared definition costs no more than its size, and the walk keeps its own
 * stack. 0 when value leads back to name, -1 when memory ran out (cannot tell). */
static int acyclic(const char *name, const char *value, char **entities, size_t n, cycle_check *c) {
    size_t depth = 0, visits = 0, name_len;
    const char *p = value;
    int result = 1;
    if (!strchr(value, '&')) return 1; /* no reference: nothing to follow */
    if (!cycle_check_fit(c, n + 1)) return -1;
    name_len = strlen(name);
    for (;;) {
        size_t idx;
        char **entry;
        p = strchr(p, '&');
        if (!p) {
            if (!depth) break;
            p = c->stack[--depth];
            continue;
        }
        ++p;
        if (strncmp(p, name, name_len) == 0 || c->steps == 0) {
            result = 0; /* a cycle, or too much work to tell */
            break;
        }
        --c->steps;
        entry = c->ix ? ezxml_entity_index_match(c->ix, entities, p) : ezxml_match_entity(entities, p);
        if (!entry) continue;
        idx = (size_t)(entry - entities) / 2;
        if (c->seen[idx] || !entry[1]) continue;
        c->seen[idx] = 1;
        c->visited[visits++] = idx;
        c->stack[depth++] = p;
        p = entry[1];
    }
    while (visits) c->seen[c->visited[--visits]] = 0;
    return result;
}

int ezxml_entity_acyclic(const char *name, const char *value, char **entities) {
    cycle_check c;
    int result;
    memset(&c, 0, sizeof c);
    c.steps = (size_t)-1;
    result = acyclic(name, value, entities, table_pairs(entities), &c) > 0;
    cycle_check_release(&c);
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
    growing_table general, parameter;
    ezxml_entity_index general_index;
    cycle_check cycles;
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
    general = growing(&root->entities);
    parameter = growing(&pe);
    memset(&general_index, 0, sizeof general_index);
    memset(&cycles, 0, sizeof cycles);
    /* Each check walks what the new value reaches, so a long chain of
     * entities would make the checks quadratic: like expansion, they get a
     * budget proportional to the subset, past which a declaration counts
     * as cyclic. */
    cycles.steps = ezxml_default_budget(length);

    for (;;) {
        while (*s && *s != '<' && *s != '%') ++s;
        if (!*s) break;

        if (strncmp(s, "<!ENTITY", 8) == 0) {
            char *name, *v, *value, *close, *decoded;
            growing_table *table;
            char quote;
            int param, last = 0, acyclic_result;
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
            table = param ? &parameter : &general;
            decoded = ezxml_decode_n(value, pe, EZXML_MODE_ENTITY, budget, NULL);
            if (!decoded) {
                ok = 0;
                break;
            }
            cycles.ix = param ? NULL : &general_index;
            acyclic_result = acyclic(name, decoded, *table->table, table->pairs, &cycles);
            if (acyclic_result <= 0) {
                if (decoded != value) free(decoded);
                if (acyclic_result < 0) ok = 0;
                break;
            }
            if (!table_append(table, ezxml_inline_entities(root), name, decoded)) {
                if (decoded != value) free(decoded);
                ok = 0;
                break;
            }
            if (!param) ezxml_entity_index_appended(&general_index, root->entities, general.pairs);
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
    ezxml_entity_index_reset(&general_index);
    cycle_check_release(&cycles);
    return ok;
}

void ezxml_read_dtd(ezxml_root *root, char *start, size_t length) {
    size_t budget = ezxml_default_budget(length);
    (void)ezxml_read_dtd_budget(root, start, length, &budget);
}
