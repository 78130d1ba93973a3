// The heap: blocks from the end of memory (less ROZ_HEAP_GUARD) downwards, towards the stack.
// Each block is a 16-byte header (the block's whole size, the next free block) and the
// caller's bytes, 16-byte aligned. Free blocks are kept by ascending address and merged with
// free neighbours; a free block at the heap's bottom is given back to the stack. malloc takes
// the first free block that fits (splitting off the rest when 32 bytes or more remain), else
// grows the heap down while it stays ROZ_STACK_RESERVE bytes above the stack pointer.
#include <roziduv2_abi.h>
#include <stdlib.h>
#include <string.h>

#include "runtime.h"

struct block {
    size_t size;
    struct block* next;
};

unsigned long __roz_stack_limit; // set by the start-up for an empty heap
static char* heap_floor;         // the heap's lowest byte; 0 until the first malloc
static struct block* free_list;

static void set_floor(char* floor) {
    heap_floor = floor;
    // volatile: only the generated function entries read it
    *(volatile unsigned long*)&__roz_stack_limit = (unsigned long)floor - ROZ_STACK_RESERVE;
}

void* malloc(size_t size) {
    if (size > __roz_memory_size()) return NULL;
    const size_t need = (size + 15) / 16 * 16 + sizeof(struct block);
    if (!heap_floor) heap_floor = (char*)((__roz_memory_size() - ROZ_HEAP_GUARD) & ~15UL);
    for (struct block **link = &free_list, *b = free_list; b; link = &b->next, b = b->next) {
        if (b->size < need) continue;
        if (b->size - need >= 32) {
            struct block* rest = (struct block*)((char*)b + need);
            rest->size = b->size - need;
            rest->next = b->next;
            *link = rest;
            b->size = need;
        } else {
            *link = b->next;
        }
        return b + 1;
    }
    const unsigned long floor = (unsigned long)heap_floor;
    if (floor < __roz_stack_pointer() + ROZ_STACK_RESERVE + need) return NULL;
    struct block* b = (struct block*)(floor - need);
    b->size = need;
    set_floor((char*)b);
    return b + 1;
}

void free(void* pointer) {
    if (!pointer) return;
    struct block* b = (struct block*)pointer - 1;
    struct block *before = NULL, *after = free_list;
    while (after && after < b) {
        before = after;
        after = after->next;
    }
    if (after && (char*)b + b->size == (char*)after) {
        b->size += after->size;
        after = after->next;
    }
    b->next = after;
    if (before && (char*)before + before->size == (char*)b) {
        before->size += b->size;
        before->next = b->next;
    } else if (before) {
        before->next = b;
    } else {
        free_list = b;
    }
    if ((char*)free_list == heap_floor) {
        struct block* bottom = free_list;
        free_list = bottom->next;
        set_floor(heap_floor + bottom->size);
    }
}

void* calloc(size_t count, size_t size) {
    // Memory has at most 2^31 bytes: the product of two numbers this small cannot wrap.
    if (count > __roz_memory_size() || size > __roz_memory_size()) return NULL;
    void* pointer = malloc(count * size);
    if (pointer) memset(pointer, 0, count * size);
    return pointer;
}

void* realloc(void* pointer, size_t size) {
    if (!pointer) return malloc(size);
    if (!size) {
        free(pointer);
        return NULL;
    }
    const size_t have = ((struct block*)pointer - 1)->size - sizeof(struct block);
    if (size <= have) return pointer;
    void* moved = malloc(size);
    if (moved) {
        memcpy(moved, pointer, have);
        free(pointer);
    }
    return moved;
}
