/* The loopback limit for the echo benchmark: a plain threaded echo server on 127.0.0.1:PORT that
 * accepts clients and gives each a thread doing blocking read and write until the client closes.
 * With WAIT_US it waits that long after each read of less than 64 KB before echoing, so that the
 * client's writes gather into larger blocks: a server that answers late. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <sys/socket.h>
#include <unistd.h>

static long waitMicros;

static void *Serve(void *arg)
{
    const int s = (int)(intptr_t)arg;
    const size_t size = 1 << 20;
    char *buffer = malloc(size);
    while (buffer) {
        const ssize_t n = read(s, buffer, size);
        if (n <= 0)
            break;
        if (waitMicros > 0 && n < 65536) {
            const struct timespec wait = {0, waitMicros * 1000};
            nanosleep(&wait, NULL);
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(s, buffer + done, (size_t)(n - done));
            if (w <= 0)
                goto out;
            done += w;
        }
    }
out:
    free(buffer);
    close(s);
    return NULL;
}

int main(int argc, char *argv[])
{
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: %s PORT [WAIT_US]\n", argv[0]);
        return 2;
    }
    waitMicros = argc == 3 ? atol(argv[2]) % 1000000 : 0;
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    struct sockaddr_in a = {0};
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)atoi(argv[1]));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, (struct sockaddr *)&a, sizeof a) != 0 || listen(listener, 16) != 0) {
        perror("cecho");
        return 1;
    }
    for (;;) {
        const int s = accept(listener, NULL, NULL);
        if (s < 0)
            continue;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        pthread_t thread;
        if (pthread_create(&thread, NULL, Serve, (void *)(intptr_t)s) != 0)
            close(s);
        else
            pthread_detach(thread);
    }
}
